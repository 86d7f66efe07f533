#include "video/KineBase.h"

#include <cstdio>

namespace {
std::atomic<KineLogFunctionPtr> g_logFunction{KineLogFunction};
}

void KineLogFunction(const std::string& text) {
  std::printf("%s\n", text.c_str());
}

void KineLog(const std::string& text) {
  g_logFunction.load()(text);
}

void KineSetLogFunction(KineLogFunctionPtr function) {
  g_logFunction.store(function ? function : KineLogFunction);
}

KineThread::~KineThread() {
  // A thread still held is stopped and waited for rather than left running
  // over a freed object.
  if (thread.joinable()) {
    running = false;
    thread.join();
  }
}

void KineThread::Start() {
  running = true;
  thread = std::thread([this] { Execute(); });
}

void KineThread::Join() {
  running = false;
  if (thread.joinable()) thread.join();
}

_KineGenericException::_KineGenericException(const std::string& message_,
                                             const std::string& sourcePath, int line_,
                                             const std::string& type_)
    : message(message_), type(type_), line(line_) {
  size_t at = sourcePath.find("src");
  if (at == std::string::npos) {
    file = sourcePath;
  } else {
    size_t from = at + 4;
    file = from < sourcePath.size() ? sourcePath.substr(from) : std::string();
  }
}

std::string _KineGenericException::GetFullText() const {
  std::string text;
  if (!type.empty()) text += type + ": ";
  if (!file.empty()) text += "[" + file + ":" + std::to_string(line) + "] - ";
  return text + message;
}

void _KineGenericException::Report() const {
  KineLog("----------------\nException Error!\n\n" + GetFullText() + "\n----------------");
}
