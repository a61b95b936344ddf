// The sector map: one record per sector of the identified flash, in address order, telling
// which image's range the sector lies in and how its writing went. The boot fills it when the
// flash is identified, the procedures mark the image ranges, the sector download records every
// try. It stays as the last run left it until the next run boots; the GUI draws it and the
// command line reports it.
#pragma once

#include "flash/dwl10fla.h"

#include <cstdint>

enum SectorState : uint8_t {
    SECTOR_UNTOUCHED, // not written in this run
    SECTOR_WRITING,   // its bytes are on the way or their acknowledgement is awaited
    SECTOR_WRITTEN,   // acknowledged with the right sum at the first try
    SECTOR_RESENT,    // acknowledged with the right sum after being sent again
    SECTOR_FAILED,    // the run stopped on it
    SECTOR_CANCELLED, // the operator stopped the run while it was being written
};

enum SectorImage : uint8_t { SECTOR_NO_IMAGE, SECTOR_BINARY, SECTOR_OGM, SECTOR_TFS };

struct SectorRecord {
    uint32_t Address;   // handset address of its first byte
    uint32_t Size;      // bytes
    uint32_t BytesSent; // image bytes its last sector command carried
    uint8_t Tries;      // sector commands sent for it
    uint8_t State;      // SectorState
    uint8_t Image;      // SectorImage whose range holds it
};

struct SectorMap {
    uint32_t NbSectors; // 0 until a described flash is identified
    uint32_t Changes;   // grows with every change, so that a view knows when to redraw
    SectorRecord Sector[DWL_MAX_SECTORS];
};

extern SectorMap sg_SectorMap;

// Forgets everything: a new run begins.
void dwl10_80ResetSectorMap();
// Lays out the sectors of the identified flash, all untouched. 1, or 15 when it is not described.
int dwl10_81SetSectorMapFlash(uint8_t manufacturerId, uint8_t deviceId);
// Marks the sectors that hold any byte of [address, address + length) as the image's.
void dwl10_82MarkSectorRange(uint8_t image, uint32_t address, uint32_t length);
// A sector command for the sector starting at address goes out, carrying count image bytes.
void dwl10_83SectorTry(uint32_t address, uint32_t count);
// The sector starting at address was acknowledged with the right sum.
void dwl10_84SectorWritten(uint32_t address);
// The run stopped: a sector still being written failed.
void dwl10_85SectorRunFailed();
// The operator stopped the run: a sector still being written was cancelled.
void dwl10_88SectorRunCancelled();
// The record of the sector starting at address, or nullptr.
SectorRecord* dwl10_86FindSector(uint32_t address);
// "untouched", "writing", "written", "resent", "failed", "cancelled".
const char* dwl10_87SectorStateName(uint8_t state);
// The word for a count of sector commands: "try" for one, "tries" otherwise ("1 try", "3 tries").
const char* dwl10_88TriesWord(unsigned tries);
