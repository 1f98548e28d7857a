#include "windows/FormFonts.h"

#include "windows/BitmapBold.h"

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
    for (const char* file : FormFontFiles) {
        const int id =
            QFontDatabase::addApplicationFont(QDir(folder).filePath(QLatin1String(file)));
        if (id < 0)
            continue;
        ++added;
        // "MS Sans Serif" comes as bitmap strikes in one weight, yet the forms use it bold.
        for (const QString& family : QFontDatabase::applicationFontFamilies(id))
            AddMissingBold(family);
    }
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
