// The chore tool's developer dialogs: message box, file requesters, integer
// list, tree picker and text input, which the interactive add and adjust
// callbacks of the costume tags and a few script functions use.
//
// The dialogs are Windows developer windows: on Linux none opens. Each
// operation answers at once what a dismissed dialog answers (the requesters
// and the tree picker "nothing chosen", the integer list and the text input
// "OK" with nothing changed, the message box 0) and says once in the log
// that the dialog is not available. The logic of the dialog bodies is kept
// as plain functions below. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// Message box styles and results.
enum {
  kToolBoxOk = 0,
  kToolBoxOkCancel = 1,
  kToolBoxYesNoCancel = 3,
  kToolBoxYesNo = 4,
};
enum { kToolAnswerOk = 1, kToolAnswerCancel = 2, kToolAnswerYes = 6, kToolAnswerNo = 7 };

constexpr int kToolFolderSize = 260;
constexpr int kToolPathSize = 260;

int drevTool_MessageBox(const char* title, const char* text, int style);
// Copies at most 259 characters into the requester folder buffer.
void drevTool_SetRequesterFolder(const char* folder);
const char* drevTool_GetRequesterFolder(void);
// Non-zero when a file was chosen: its path is then in the chosen-path buffer.
int drevTool_OpenFileRequester(const char* title, const char* filter);
int drevTool_SaveFileRequester(const char* title, const char* filter);
// The chosen-path buffer (kToolPathSize characters).
char* drevTool_GetChosenPath(void);
// Non-zero on OK, the values then replaced by the entered ones.
int drevTool_IntegerListDialog(const char* title, const char* const* labels, int* values,
                               int count);
// The chosen item's index, -1 when none.
int drevTool_TreePickerDialog(const char* title, const char* const* items, int count,
                              int* includeChildren);
// Non-zero on OK, the entered text then in the buffer.
int drevTool_InputDialog(const char* title, const char* prompt, char* buffer, int size,
                         const char* defaultText);

// ---- Dialog bodies --------------------------------------------------------------

// Integer list: the text an edit control shows for a value, and the values
// read back from the edits' texts as signed integers (a text that is not a
// number reads 0). Every spin control ranges over 0..127.
constexpr int kToolIntegerEditFirst = 1004;
constexpr int kToolIntegerSpinFirst = 1104;
constexpr int kToolIntegerSpinMax = 127;
void drevTool_FormatInteger(int value, char* text, size_t size);
void drevTool_ReadIntegers(const char* const* texts, int* values, int count);

// Tree picker: each item's parent (-1 for the top level) by its leading
// tabs, and the shown text without them.
void drevTool_TreeParents(const char* const* items, int count, int* parents);
const char* drevTool_TreeShownText(const char* item);
// The answer for the selected item: the first item, in list order, whose
// text contains the selected item's shown text.
int drevTool_TreeAnswer(const char* const* items, int count, int selected);

// Text input: the edit's limit for a buffer size (0 = none), and the copy of
// the entered text into the buffer, at most size - 1 characters.
int drevTool_InputLimit(int size);
void drevTool_CopyInputText(char* buffer, int size, const char* text);

// In-memory dialog descriptions for a dialog manager: 16-bit fields and
// texts converted to UTF-16. Each writes into `out` (when it is large
// enough) and returns the size it takes, a multiple of 4, through `size`;
// the result is the number of bytes written (0 when `out` is too small).
size_t drevTool_BuildDialogHeader(uint32_t style, int itemCount, int x, int y, int width,
                                  int height, const char* menu, const char* title, uint8_t* out,
                                  size_t capacity, size_t* size);
size_t drevTool_BuildDialogItem(uint32_t style, int x, int y, int width, int height, int id,
                                const char* className, const char* text, int creationValue,
                                uint8_t* out, size_t capacity, size_t* size);
