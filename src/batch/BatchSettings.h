#pragma once

#include "platform/FileCheck.h"

#include <QString>
#include <QStringList>

#include <array>

class inifile_IO;

// The batch settings of the "Kouka", "ImageType" sections and their reading
// rules, shared by the batch window and the command-line batch.
struct TileEffects
{
    bool produce = true;   // chkTile: not stored, every tile on at load
    bool light = false;    // chkLight
    int lightIndex = 0;    // cmbLight: 0..9 = "-50".."-10", "+10".."+50"
    bool blur = false;     // chkBokashi
    int blurIndex = 0;     // cmbBokashi: 0..2 = "x1".."x3"
    bool block = false;    // chkBlock
    bool emboss = false;   // chkEnboss
    bool gray = false;     // chkGray
    bool contrast = false; // chkContrast
};

// Effect codes of the effect order.
enum EffectCode { kLight = 0, kBlur = 1, kBlock = 2, kEmboss = 3, kGray = 4, kContrast = 5 };

struct BatchSettings
{
    std::array<TileEffects, 4> tiles{};
    std::array<int, 6> order{0, 1, 2, 3, 4, 5};         // EffectOrder ("Junjo")
    std::array<bool, 3> inputTypes{true, false, false}; // *.bmp, *.jpg, *.gif
    bool jpegOutput = false;                            // "DstFile"

    // Reads the keys with their defaults; malformed or out-of-range values
    // fall back to the defaults. JPEG output only when jpegFlag.
    static BatchSettings read(const inifile_IO& ini, bool jpegFlag);
    // The keys present whose values the reading rules above could not take
    // as written (wrong length, characters out of range, no number), each as
    // "[Section] Key=value"; missing and empty keys are not listed.
    static QStringList unusableKeys(const inifile_IO& ini);
    // Writes "SrcFile", "DstFile", the per-tile strings, "BIndex", "LIndex",
    // "Junjo" in that order.
    void write(inifile_IO& ini) const;
};

namespace BatchNaming {

// "Junjo" text to an order: padded with "000000", first six characters, each
// digit 0..5 once, else 012345.
std::array<int, 6> parseOrder(const QString& junjo);

// "*.bmp;*.jpg" from the ticked types; "xxxx.xxxx" when none is ticked.
QString inputPattern(const std::array<bool, 3>& types);

// Names (no folder) of the files in folder matching pattern ("a;b" matches
// any part), ignoring case, in name order. problem (when given) says why a
// folder could not be listed.
QStringList matchingFiles(const QString& folder, const QString& pattern,
                          FileCheck::Problem* problem = nullptr);

// OutFileName: input name up to its last ".", "(A)".."(D)", ".", extension.
QString OutFileName(const QString& inputName, int tile, const QString& extension);

// The brightness percentage of list index 0..9: -50..-10, 10..50.
int lightPercent(int lightIndex);

} // namespace BatchNaming
