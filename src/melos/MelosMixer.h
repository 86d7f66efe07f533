// The music mixer: adds 16-bit PCM pieces of the playing tracks into a 32-bit
// stereo accumulator (volume, pan, rate conversion), turns the accumulator
// into 16-bit samples through a soft-clip curve, and can record the result
// to a WAV file. The output glue hands out the blocks of audio channel 0.
#pragma once

#include <cstdint>

constexpr int MELOS_BLOCK_FRAMES = 1536;
constexpr int MELOS_BLOCK_BYTES = 6144;
constexpr int MELOS_BLOCK_COUNT = 3;

// Builds the pan table and allocates the accumulator and a curve of
// tracks x 32768 entries; -1 on failure.
int MelosMixer_Init(int tracks);
void MelosMixer_Free(void);
void MelosMixer_Clear(void);
// Adds one piece: sourceFrames frames of 16-bit samples (1 or 2 channels,
// big-endian when swap) stretched over outputFrames output frames starting
// at outputOffset.
void MelosMixer_Mix(const uint8_t* source, int sourceFrames, int bits, int channels, int swap,
                    int outputFrames, int outputOffset, int volume, int pan);
// Converts the accumulator into frames stereo frames at block and feeds the
// recorder; -1 without accumulator, block or frames.
int MelosMixer_Output(uint8_t* block, int frames);
int MelosMixer_IsAvailable(void);

// The pan table entry [g][j] and the curve (for tests and the benchmark).
int MelosMixer_PanEntry(int g, int j);
int MelosMixer_Curve(int n);
// The accumulator (MELOS_BLOCK_FRAMES x 2 values), null before init.
int32_t* MelosMixer_Accumulator(void);

// Recording of the mixed output to a WAV file. wait != 0 arms the recorder
// until the first non-silent block. 0, or -1 when the file cannot be opened.
int Melos_StartRecording(const char* path, int wait);
// Asks the recorder to finish at the next silent block.
void Melos_StopRecording(void);
// The recorder's states; Melos_RecordingState answers their numbers.
enum class MelosRecorderState : int {
  Off = 0,
  Armed = 1,      // waits for the first non-silent block
  Recording = 2,  // writes every block
  Finishing = 3,  // writes until the next silent block, then closes
};
int Melos_RecordingState(void);
// Finishes a recording at once (header, close); used at library end.
void MelosRecorder_Finish(void);

// Output channel 0.
int MelosOutput_Open(int rate);
void MelosOutput_Close(void);
// The next block of channel 0 under the channel's lock: its pointer, 1536
// frames and the device rate; a closed output gives 0 frames (no lock).
void MelosOutput_GetBlock(uint8_t** block, int* frames, int* rate);
// Ends the block handed out by MelosOutput_GetBlock (releases the lock).
void MelosOutput_ReleaseBlock(void);
int MelosOutput_IsClosed(void);
void MelosOutput_Suspend(void);
void MelosOutput_Resume(void);
