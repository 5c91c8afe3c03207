// The program's button images, drawn once in code (crisp at any size, nothing to ship).
#pragma once

#include <QIcon>

enum class IconKind { Go, Stop, Capture, Load, Save, Report, Edit, Dark };

// The image of a kind at the given edge length in pixels.
QIcon ProgramIcon(IconKind kind, int size = 32);
