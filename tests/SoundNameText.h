// A sound name as the recording fakes of the music host write it: the file
// name, or the number in decimal.
#pragma once

#include <string>

#include "melos/Sounds.h"

namespace vqtest {

inline std::string SoundText(SoundName name) {
  return name.text ? std::string(name.text) : std::to_string(name.number);
}

}  // namespace vqtest
