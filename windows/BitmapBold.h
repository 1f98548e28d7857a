#pragma once
// Bold for a bitmap family that has only a regular face: the toolkit cannot embolden
// bitmap strikes, so a bold face is made from each strike and added to the application's
// fonts. Each glyph is struck again one pixel to the right and each character is one
// pixel wider, the way bitmap faces have long been drawn bold.
#include <QByteArray>
#include <QFont>
#include <QString>

// The bold face of the regular strike that `regular` resolves to, as BDF font text, named
// as the family and foundry given.
QByteArray BoldStrikeFace(const QFont& regular, const QString& foundry = QString());

// Adds a bold face for each strike of the family when it is a bitmap family without bold;
// returns how many faces were added.
int AddMissingBold(const QString& family);
