// The program's own icons: SVG drawings built into the program, drawn at whatever size and pixel density asked.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace artwork {

// The name of the program's own icon, as installed for the desktop too.
inline constexpr char kProgramIcon[] = "zarn-show";

// The drawing `name` (a file artwork/icons/<name>.svg) as an icon, drawn
// ahead at the toolbar and menu sizes for single and double density
// screens, so no size is ever a blurred enlargement. Null for an unknown name.
QIcon icon(const QString& name);

// The drawing at `size` device-independent pixels on a screen of
// `device_pixel_ratio`: size x ratio real pixels, transparent around it.
QPixmap pixmap(const QString& name, QSize size, qreal device_pixel_ratio);

// The names of all the drawings.
QStringList names();

// The SVG text itself; empty for an unknown name.
QByteArray source(const QString& name);

}  // namespace artwork
