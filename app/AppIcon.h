// The program's icon, painted in code: a log page with a few ruled lines under a magnifying glass, in a
// 16 by 16 and a 32 by 32 image.
#pragma once

#include <QIcon>

// The icon with its two images. Needs a QGuiApplication.
QIcon AppIcon();
