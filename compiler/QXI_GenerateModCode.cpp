#include "compiler/QXI_GenerateModCode.h"

#include <algorithm>
#include <vector>

#include "compiler/QXI_CompilerUtils.h"
#include "platform/Directory.h"
#include "platform/Text.h"

bool HasUninstallOption = true;
bool HasShortcutsOption = true;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The script has no escape character: a language name with a separator or a
// comment character is quoted so that it stays one whole parameter; other
// names are written bare.
std::string LanguageParam(const std::string& name) {
  return name.find_first_of(" \t;#") == std::string::npos ? name : Quoted(name);
}

std::string Extension(const std::string& path) {
  std::string name = ExtractFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

void AddCodeLine(std::string& code, const std::string& text) {
  code += text;
  code += '\r';
}

void AddLanguageLines(std::string& code, const std::string& programDir, bool install) {
  std::string folder = programDir + (install ? "\\languages\\Install\\" : "\\languages\\Uninstall\\");
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(folder, entries)) return;
  for (const platform::DirEntry& entry : entries) {
    // The system's own pattern match would also take "x.wrix" through its
    // short name; only real ".wri" files are languages.
    if (entry.IsDirectory || platform::AnsiLowerCase(Extension(entry.Name)) != ".wri") continue;
    std::string param = LanguageParam((install ? "install\\" : "uninstall\\") + FileNameWithoutExt(entry.Name));
    AddCodeLine(code, (install ? "language " : "uninstalllanguage ") + param);
  }
}

std::string GenerateModCode(const TModCodeInputs& in) {
  const std::string m = StripInvalidNameChars(in.ModDir);
  const std::string p = StripInvalidNameChars(in.PrefixName);
  std::string exe = in.SetupExeName;
  if (platform::AnsiLowerCase(Extension(exe)) != ".exe") exe += ".exe";

  std::string code;
  AddCodeLine(code, "Name " + Quoted(in.SetupName));
  AddCodeLine(code, "ShortName " + Quoted(in.SetupShortName));
  AddCodeLine(code, "OutFile " + Quoted(StripInvalidNameChars(exe)));
  AddCodeLine(code, "prefix " + Quoted(p));
  AddCodeLine(code, "InstallDir " + Quoted("$PROGRAMFILES\\Quexar\\"));
  AddCodeLine(code, "InstallDirRegKey HKLM " + Quoted("Software\\Venmark\\Quexar\\") + " " + Quoted("Path"));
  AddLanguageLines(code, in.ProgramDir, true);
  if (HasUninstallOption) AddLanguageLines(code, in.ProgramDir, false);
  AddCodeLine(code, "pages " + Quoted(in.InstallPages));
  if (HasUninstallOption) AddCodeLine(code, "uninstallpages " + Quoted(in.UninstallPages));
  AddCodeLine(code, "Message " + Quoted("<LANG21>"));
  AddCodeLine(code, "File " + Quoted(in.ModIniFile) + " " + Quoted("mods\\"));
  AddCodeLine(code, "File " + Quoted(in.ModFilesDir + "\\") + " " + Quoted("mods\\" + m + "\\"));
  AddCodeLine(code, "Message " + Quoted("<LANG22>"));
  if (HasShortcutsOption) {
    const std::string folder = "$SMPROGRAMS\\Quexar\\Mods\\" + m + "\\";
    AddCodeLine(code, "CreateDirectory " + Quoted("$SMPROGRAMS\\Quexar\\Mods\\"));
    AddCodeLine(code, "CreateDirectory " + Quoted(folder));
    AddCodeLine(code, "CreateShortCut " + Quoted(folder + "Play.lnk") + " " + Quoted("$INSTDIR\\qxrun.exe") + " " +
                          Quoted("mod " + m));
    // Only an installer that writes the uninstaller links to it.
    if (HasUninstallOption)
      AddCodeLine(code, "CreateShortCut " + Quoted(folder + "Uninstall.lnk") + " " +
                            Quoted("$INSTDIR\\" + p + "_Uninstall.exe") + " " + Quoted(""));
  }
  return code;
}

bool IsInvalidNameChar(char c) {
  switch (c) {
    case '"':
    case '*':
    case ':':
    case '<':
    case '>':
    case '?':
    case '|':
      return true;
    default:
      return false;
  }
}

std::string StripInvalidNameChars(const std::string& text) {
  std::string out;
  std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return !IsInvalidNameChar(c); });
  return out;
}

std::string SpacesToUnderscore(const std::string& text) {
  std::string out = text;
  std::replace(out.begin(), out.end(), ' ', '_');
  return out;
}

std::string FileNameWithoutExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  return name.substr(0, name.size() - Extension(name).size());
}
