// Laying out, checking and converting an installation's files.
#pragma once

#include <string>
#include <vector>

namespace admin_tool {

// The folders of an installation, under its root.
inline const std::vector<std::string> kInstallationFolders = {"FORMS", "LOCALE", "AJUDA", "ddf", "DADES", "LOCKS"};

// One file to be written: its path relative to the root and its bytes.
struct OutputFile {
  std::string relative;
  std::string bytes;
};

// Converts the readable sources under `sourceDir` (Orba.ini, FORMS/*.ZPN, LOCALE/*.LNG,
// AJUDA/*.txt) into the installation's formats. False, with one message per faulty source
// (naming the file, line and column), when any source cannot be converted.
bool ConvertSources(const std::string& sourceDir, std::vector<OutputFile>& files, std::vector<std::string>& faults);

// The readable sources of the installation's texts under `root` (the reverse of ConvertSources).
bool ExportSources(const std::string& root, std::vector<OutputFile>& files, std::vector<std::string>& faults);

// Writes each file under `dir` through a new file that replaces the old one only once it is
// complete, creating folders as needed. False with a message at the first failure.
bool WriteFiles(const std::string& dir, const std::vector<OutputFile>& files, std::string& error);

// Gives the installation's group a path: group read and write (and, for folders, search and
// set-group-id so what is created inside takes the folder's group), never world-writable, and
// the group `group` when it is not empty. False with a message when it cannot be done.
bool ShareWithGroup(const std::string& path, const std::string& group, std::string& error);

// The problems of the installation at `root`, each a line naming what is wrong and what to do.
std::vector<std::string> CheckInstallation(const std::string& root);

}  // namespace admin_tool
