// The script compiler: turns the install script (text lines) into compiled
// lines and setup information. A parse pass recognises labels, looks the
// keywords up in the command registry and splits the parameters; a compile
// pass then runs every command's compile step in line order. Errors are a
// text and a 0-based source line, never exceptions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "compiler/QXI_CompilerFileList.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_SetupInfo.h"

struct TCompilerError {
  std::string Text;  // empty: no error
  int32_t Line = 0;  // 0-based source line
  // The text as the window shows it, when it names a file by characters the
  // code page does not have (Text holds '?' for them); else empty.
  std::u16string Wide;
};

class TCompiler : public TCompileContext, public TFileListOwner {
 public:
  using TTextCallback = std::function<void(const std::string&)>;
  // Writes an icon file's first image into a program as its icon; true when
  // the program was changed.
  using TIconWriter = std::function<bool(const std::string& iconPath, const std::string& exePath)>;

  // Keywords are looked up in `commands` (none: every keyword is unknown).
  explicit TCompiler(const TCommandList* commands = nullptr);
  TCompiler(const TCompiler&) = delete;
  TCompiler& operator=(const TCompiler&) = delete;

  // One compile run over the script's lines. The result is in CompLines,
  // SetupInfo and Error; the setup information is otherwise left as the
  // caller prepared it.
  void Compile(const std::vector<std::string>& lines, const std::string& sourceBaseDir);
  // The parse pass, then, when it found no error, the compile pass.
  void ParseLines(const std::vector<std::string>& lines);
  // The compile pass: every command line's compile step, in line order. It
  // does not stop at an error; a later error replaces an earlier one.
  void RunCompileHooks();

  void Log(const std::string& text) const override;
  void Status(const std::string& text) const override;
  void ClearLines() { CompLines.Lines.clear(); }
  void ClearError() { Error = TCompilerError{}; }

  // The text cut before its first ";" or "#" outside double quotes, so that a
  // quoted folder such as C:\Mods\C#\ stays whole. Not trimmed afterwards.
  static std::string StripComment(const std::string& text);

  // Appends a compiled line of the command (0: a label) from the current
  // source line; its index, or -1 with an error when the stored script's
  // 16-bit line count is full.
  int32_t AddLine(int32_t commandId);
  // Appends a parameter; a parameter the stored script cannot hold (more
  // than 65,535 bytes) is an error at the current source line instead.
  void AddArgument(int32_t index, const std::string& text);
  // AddLine, then the parameters of `rest`: at least one, so a keyword
  // written alone gets one empty parameter. The new index, or -1.
  int32_t AddCommandLine(int32_t commandId, const std::string& rest);
  void ParseCommand(const std::string& text);

  // The parameters of a compiled line as listing text: blank-separated,
  // those holding a blank in double quotes.
  std::string FormatCompiledArgs(int32_t index) const;
  // One text per label or registered command line: "name:" or the keyword,
  // a blank and FormatCompiledArgs; placeholders give none.
  std::vector<std::string> CompiledListing() const;

  // What the commands' compile steps reach.
  TCompLines& Lines() override { return CompLines; }
  TSetupInfoFile& Info() override { return SetupInfo; }
  const std::string& BaseDir() const override { return SourceBaseDir; }
  void SetError(const std::string& text, int32_t sourceLine) override;
  void SetError(const std::u16string& text, int32_t sourceLine);
  uint16_t& LastGroup() override { return FileList.LastGroup; }
  uint16_t& RegKeyCount() override { return FileList.RegKeyCount; }
  void QueueFile(const std::string& source, const std::string& name, uint16_t group) override {
    FileList.AddFile(source, name, group, "");
  }
  // A folder the list cannot take whole is an error of the line that named it.
  void QueueDir(const std::string& path, uint16_t group, const std::string& groupName) override;
  const std::string& ProgramFolder() const override { return ProgramDir; }

  // The setup builder (QXI_SetupBuilder.cpp): writes the installer
  // ProgramDir\compiled\<SetupExeName> from the result of a successful
  // compile run, logging each step and a size report ending in "Finished".
  // False after a failure: the error is logged and kept in BuildError, the
  // partial output deleted, and an older installer of that name is left as
  // it was.
  bool BuildSetup();
  // The install layout's icon, which becomes the installer's icon resource.
  std::string LayoutIconPath() const override;

  TTextCallback LogCallback;     // unset: Log does nothing
  TTextCallback StatusCallback;  // unset: Status does nothing
  std::string SourceBaseDir;     // relative sources are resolved against it
  TSetupInfoFile SetupInfo;
  int32_t CurrentLine = 0;  // the source line being parsed; afterwards, the lines read
  std::string CurrentText;  // that line trimmed and without its comment
  TCompLines CompLines;
  TCompilerFileList FileList{*this};
  TCompilerError Error;
  std::string BuildError;  // why the last build failed; empty after one that did not
  const TCommandList* Commands;
  // The folder beside the program that holds base\, layout\ and compiled\:
  // the running program's own folder unless set otherwise.
  std::string ProgramDir;
  // The icon replacement (ChangeExeIcon in Windows builds; unset where the
  // system has no resource update).
  TIconWriter IconWriter;
  // Threads that pack the installer's entries: 0 for one per core, at most
  // 8. The installer's bytes do not depend on it.
  int BuildThreads = 0;

 private:
  int32_t hookLine_ = 0;  // the source line whose compile step runs
};

// The compiler of the program, created before any window and never freed.
// Its registry is set once the commands are registered.
extern TCompiler& GlobalCompiler;
