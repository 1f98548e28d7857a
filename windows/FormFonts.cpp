#include "windows/FormFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QHash>

namespace {
// "Tahoma" regular and bold, "MS Sans Serif" and "System"; the other fonts of the folder
// are not the forms' and are left out.
constexpr const char* FormFontFiles[] = {"tahoma.ttf", "tahomabd.ttf", "ms_sans_serif.ttf",
                                         "system.ttf"};
} // namespace

int LoadFormFonts(const QString& folder) {
    static QHash<QString, int> loaded;
    if (const auto known = loaded.constFind(folder); known != loaded.constEnd())
        return *known;
    int added = 0;
    for (const char* file : FormFontFiles)
        if (QFontDatabase::addApplicationFont(QDir(folder).filePath(QLatin1String(file))) >= 0)
            ++added;
    loaded.insert(folder, added);
    return added;
}

// "Arial" resolves to the metric-compatible Liberation Sans through fontconfig, and so do
// the forms' fonts when their files are missing.
QFont FormFont(const QString& family, int pixelHeight, bool bold) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}
