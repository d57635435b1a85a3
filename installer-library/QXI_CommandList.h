// The script commands' common base and the registry that numbers them. A
// command's id is its 1-based registration position; compiled lines store
// that id, so compiler and installer must register the same commands in the
// same order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TCompLines;
class TSetupInfoFile;

// Ids 1 to kCommandCount are the registered script commands.
constexpr int32_t kCommandCount = 32;

// The compiler as a command's compile step sees it: the compiled lines
// (a step may rewrite its own line's parameters), the setup information,
// the folder relative sources are resolved against, the error slot, and
// the list of files to pack with its two counters. Keeping this an
// interface keeps the command units free of the compiler's window and
// builder.
class TCompileContext {
 public:
  virtual TCompLines& Lines() = 0;
  virtual TSetupInfoFile& Info() = 0;
  virtual const std::string& BaseDir() const = 0;
  // Overwrites any earlier error: the last one reported wins.
  virtual void SetError(const std::string& text, int32_t sourceLine) = 0;

  // The last file group handed out and the next install-directory registry
  // slot; both 0 at the start of a compile run.
  virtual uint16_t& LastGroup() = 0;
  virtual uint16_t& RegKeyCount() = 0;
  // Queues one file, when it exists, as entry `name` of the group.
  virtual void QueueFile(const std::string& source, const std::string& name, uint16_t group) = 0;
  // Queues a file, or every file below a folder under its relative name,
  // in the group; a source that does not exist queues nothing. A named
  // group shares the entries of the first group of the same name.
  virtual void QueueDir(const std::string& path, uint16_t group, const std::string& groupName) = 0;
  // The folder that holds the compiler program (no trailing backslash).
  virtual const std::string& ProgramFolder() const = 0;

 protected:
  ~TCompileContext() = default;
};

class TCommandClass {
 public:
  TCommandClass(std::string keyword, uint8_t headerOnly) : Keyword(std::move(keyword)), HeaderOnly(headerOnly) {}
  virtual ~TCommandClass() = default;

  // The compile step of compiled line lineIndex (its position in the
  // compiler's list). Nothing by default.
  virtual void CompilerProcess(TCompileContext& compiler, int32_t lineIndex);
  // The run step of the loaded line lineIndex (the line's stored Line
  // value). Nothing by default.
  virtual void SFXProcess(int32_t lineIndex);
  // The packed data the command's lines carry: 0 none, 1 a file group
  // extracted as plain files, 2 a group that updates a game archive or
  // container.
  virtual int32_t FileKind() const;

  std::string Keyword;     // lower case
  uint8_t HeaderOnly = 0;  // 1: only fills the setup information; never run
};

class TCommandList {
 public:
  // Appends the command (null leaves an empty slot); its 0-based position.
  int32_t Add(std::unique_ptr<TCommandClass> command);
  // The id of the first command whose keyword equals the word lower-cased
  // with the locale's ANSI rules; -1 when none does.
  int32_t Find(const std::string& word) const;
  // The command of an id, or null for an id that is not registered: every
  // id taken from a compiled line is looked up here, never indexed directly.
  TCommandClass* Get(int32_t id) const;
  int32_t Count() const { return static_cast<int32_t>(commands_.size()); }

 private:
  std::vector<std::unique_ptr<TCommandClass>> commands_;
};
