// Where the programs find their own files (flash.txt, the handset programs, the layout files,
// the samples) when the working directory does not hold them.
//
// The search is the programs' choice (v_DataFolderSearch); without it every file is read from
// the working directory alone. The working directory comes first: a folder with its own flash.txt
// or dwl87.spm is a working folder, and every file is read from it alone. Otherwise a file comes
// from the first of these folders that holds it:
//   1. the data folder installed with the program: <prefix>/share/dwl beside <prefix>/bin, or
//      data beside the program (the Windows archive);
//   2. $DWL_SOURCE_DIR/examples and $DWL_SOURCE_DIR/ui, when that variable is set;
//   3. the examples and ui folders of the source tree the program was built from.
#pragma once

#include <string>
#include <vector>

// The working folder the program reads its own files from (flash.txt, the handset programs,
// tfs.cfg, config.txt) and a relative path of the settings from. Empty (at start): the current
// directory, as the panel program has it; a front end that is given a folder sets it.
extern std::string v_WorkFolder;
// A file of the working folder: `name` inside v_WorkFolder, or `name` itself when it is absolute
// (on Windows also when it names a drive or starts with a separator) or the working folder is the
// current directory.
std::string dwl12_8WorkFile(const char* name);

// 1 while files missing from the working directory may come from the data folders. 0 at start.
extern int v_DataFolderSearch;
// 1 while the handset programs (dwl87.spm, dwl88.spm) may come from the data folders too. The
// ones shipped there are stand-ins of the right size that only the emulated handset takes; a
// real handset gets the maker's programs from the working directory or nothing. 0 at start.
extern int v_SpmFromDataFolder;

// The folders searched after the working directory, in order; the ones that exist.
std::vector<std::string> dwl12_5DataFolders();
// The first of dwl12_5DataFolders() that holds a file `name`, or "" when none does.
std::string dwl12_6FindDataFolder(const char* name);
// The path to open for the plain name of a file the program reads from its working directory:
// the working folder's file (dwl12_8WorkFile) when the search is off, when the working folder
// holds that file or is a working folder of its own, or when no data folder holds the file;
// else the file in the first data folder that does.
std::string dwl12_7DataFile(const char* name);
// The folders, in order, in which dwl12_7DataFile looks for a file `name`: the working directory
// (as an absolute path), then the data folders when the search may use them.
std::vector<std::string> dwl12_9SearchedFolders(const char* name);
