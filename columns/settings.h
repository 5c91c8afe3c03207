// The settings file qvcon.ini and its section "FLK_INFO": the names of the seven rows of the
// workbench's "Flicker parameter" box, top to bottom ("None" hides a row). Read by the
// workbench (LoadParamNames) and by the column setup dialog, written only by the dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <array>

inline constexpr char kFlkInfoSection[] = "FLK_INFO";
inline constexpr int kFlkInfoColumnCount = 7;
// Used for every key that is missing ("Jeita" and "Vesa" in small letters, as stored).
inline constexpr std::array<const char*, kFlkInfoColumnCount> kFlkInfoDefaults = {
    "contrast", "contrast dB", "RMS %", "RMS dB", "Jeita %", "Jeita dB", "Vesa %"};

// QStandardPaths::GenericConfigLocation + "/qvcon.ini" (~/.config/qvcon.ini, honouring
// XDG_CONFIG_HOME); empty when that location cannot be determined.
QString SettingsFilePath();

// "COLUMN1" .. "COLUMN7" for n = 1 .. 7.
QString FlkInfoKey(int n);

// The seven defaults as a list.
QStringList FlkInfoDefaults();

// Reads COLUMN1 .. COLUMN7 of "FLK_INFO" into *names, the default for each missing key.
// A missing file is no error (all defaults). False when the file exists but cannot be read
// (a folder in its place, no permission, not an INI file) or its location is unknown;
// *names then holds the seven defaults.
bool ReadFlkInfoColumns(QStringList* names);

// Writes names[0..6] as COLUMN1 .. COLUMN7 of "FLK_INFO" (other sections and keys are kept)
// and flushes the file. False when the location is unknown or the file cannot be written.
bool WriteFlkInfoColumns(const QStringList& names);
