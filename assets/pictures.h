#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

// The program's pictures, drawn as SVG and bundled into the executable.
namespace assets {

// The picture called `name` at its natural size, with a transparent background.
// Null when there is no such picture. Rendered once, then served from a cache.
QPixmap picture(const QString& name);

// An icon (tray, window, program) that stays sharp at every size asked for.
// Null when there is no such picture.
QIcon icon(const QString& name);

// The natural size of the picture `name`; invalid when there is no such picture.
QSize naturalSize(const QString& name);

// Every picture the program ships, by name.
QStringList pictureNames();

} // namespace assets
