// The skin "Cold": the program's style sheet, taken from the "skin" folder beside the
// executable when it holds Cold.qss, else from the copy built into the program.
#pragma once

#include <QString>

inline constexpr char kSkinName[] = "Cold";
inline constexpr char kBuiltInSkin[] = ":/skin/Cold.qss";

// <folder of the running executable>/skin/
QString SkinFolder();

// Where the skin comes from: folder + "Cold.qss" when that file can be read, else the
// built-in copy.
QString SkinPath(const QString& folder);

// Sets the skin from `folder` (or the built-in copy) as the application's style sheet;
// returns the path it was read from, empty when neither could be read.
QString ApplySkin(const QString& folder);
