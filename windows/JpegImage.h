#pragma once
// Decodes a JPEG picture with libjpeg-turbo, so the windows' picture does not depend on
// a Qt image plugin being installed.
#include <QByteArray>
#include <QImage>

// A null image when the data is not a JPEG that can be decoded.
QImage DecodeJpeg(const QByteArray& data);

// The picture of the main window and the About window.
QImage SensorPicture();
