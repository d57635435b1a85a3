#include "installer-library/QXI_CommandList.h"

#include "platform/Text.h"

void TCommandClass::CompilerProcess(TCompileContext&, int32_t) {}

void TCommandClass::SFXProcess(int32_t) {}

int32_t TCommandClass::FileKind() const { return 0; }

int32_t TCommandList::Add(std::unique_ptr<TCommandClass> command) {
  commands_.push_back(std::move(command));
  return Count() - 1;
}

int32_t TCommandList::Find(const std::string& word) const {
  std::string key = platform::AnsiLowerCase(word);
  for (size_t i = 0; i < commands_.size(); ++i)
    if (commands_[i] && commands_[i]->Keyword == key) return static_cast<int32_t>(i + 1);
  return -1;
}

TCommandClass* TCommandList::Get(int32_t id) const {
  return id >= 1 && id <= Count() ? commands_[static_cast<size_t>(id - 1)].get() : nullptr;
}
