// The TFS description that belongs to a TFS ogm image (tfs.cfg or the .cfg beside the image).
#pragma once

#include <cstdint>

constexpr int DWL_TFS_NAME_SIZE = 512;

struct TfsFileEntry {
    char FileName[DWL_TFS_NAME_SIZE];
    uint32_t FileSize;
};

struct TfsDescription {
    char Version[20];
    int32_t NbDir;
    uint32_t MaxFiles;
    uint32_t NbFiles;
    char (*DirNames)[DWL_TFS_NAME_SIZE];
    TfsFileEntry* Files;
    uint32_t TotalSize;
};

extern TfsDescription vg_TFSDescritpion;

// Reads the description of the image named by sg_DownloadContext.TfsOgmFile. 1 or the code of
// the line in question (2 to 12).
int dwl10_200InitTFSDescription();
// The same from an explicit image path (the command line's check).
int dwl10_201InitTFSDescriptionFor(const char* imagePath);
// Fills `path` (at least 260 bytes) with the description file that the image path leads to,
// by the candidate rules; 1 when one opens, else 2 with `path` empty.
int dwl10_202FindTFSDescription(const char* imagePath, char* path, unsigned pathSize);
// For the operator log when no description was found: the first candidate (the image's path with
// "cfg" for its last three characters) in `path` and the system's reason it does not open in
// *reason. 1, or 0 when the image path gives no candidate.
int dwl10_206WhyNoDescription(const char* imagePath, char* path, unsigned pathSize,
                              const char** reason);
// Releases the tables of vg_TFSDescritpion.
void dwl10_203FreeTFSDescription();
// Parses description text into a caller's record (its tables are released first, so start
// from a zeroed record). 1 or the code of the line in question (3 to 12).
int dwl10_204ParseTFSDescription(const uint8_t* data, uint32_t length, TfsDescription* description);
// Releases the tables of a caller's record and clears its counts.
void dwl10_205FreeTFSTables(TfsDescription* description);
