#include "platform/QtTexts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QTreeView>

namespace lumaro {

namespace {

// Words of the file dialog that Qt's zh_TW catalogues do not carry (they
// moved to a context of their own after the catalogues were made).
class MissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        (void)disambiguation, (void)n;
        static const struct {
            const char* context;
            const char* source;
            const char* text;
        } words[] = {{"QAbstractFileIconProvider", "Folder", "資料夾"},
                     {"QAbstractFileIconProvider", "File Folder", "資料夾"},
                     {"QAbstractFileIconProvider", "File", "檔案"},
                     {"QAbstractFileIconProvider", "%1 File", "%1 檔案"},
                     {"QAbstractFileIconProvider", "Drive", "磁碟機"}};
        for (const auto& w : words)
            if (qstrcmp(context, w.context) == 0 && qstrcmp(source, w.source) == 0)
                return QString::fromUtf8(w.text);
        return {};
    }
};

// The locale's short date with a 24-hour time: Qt cannot write the day period
// that the zh_TW short time asks for, and prints a stray "B" in its place.
QString shortDate(const QDateTime& when)
{
    return QLocale().toString(when, QLocale().dateFormat(QLocale::ShortFormat) + QStringLiteral(" HH:mm"));
}

// The file dialog's columns of sizes and modified dates, in the shop's
// locale: Qt writes them in the system's, English where none is set.
class ShopDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    static constexpr int SizeColumn = 1;
    static constexpr int DateColumn = 3;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if ((index.column() == SizeColumn || index.column() == DateColumn) && role == Qt::DisplayRole)
            if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
                const QModelIndex file = mapToSource(index);
                if (index.column() == DateColumn)
                    return shortDate(files->lastModified(file));
                if (!files->isDir(file)) {
                    // The locale's data has no Chinese word for a byte.
                    const qint64 bytes = files->size(file);
                    if (bytes < 1024)
                        return QStringLiteral("%1 位元組").arg(bytes);
                    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
                }
            }
        return QIdentityProxyModel::data(index, role);
    }
};

QString run(QFileDialog& dialog)
{
    fitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

void installQtTexts()
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QString locale = QStringLiteral("zh_TW");
    // Each library's own catalogue (qtbase, qtdeclarative, qtmultimedia ...);
    // qt_zh_TW only names some of them again.
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("qt*_%1.qm").arg(locale)}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        if (file == QStringLiteral("qt_%1.qm").arg(locale))
            continue;
        auto* t = new QTranslator(qApp);
        if (t->load(file, folder))
            QCoreApplication::installTranslator(t);
        else
            delete t;
    }
    // Installed last, so asked first; it answers only what the others lack.
    QCoreApplication::installTranslator(new MissingQtTexts(qApp));
}

void fitFileDialog(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view) // the desktop's own dialog
        return;
    dialog.setProxyModel(new ShopDates(&dialog));
    // The longest date the shop's locale writes, with room beside it.
    const QString longest = shortDate(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)));
    const int dateWidth = view->fontMetrics().horizontalAdvance(longest) + 24;
    view->header()->resizeSection(ShopDates::DateColumn,
                                  qMax(view->header()->sectionSize(ShopDates::DateColumn), dateWidth));
    const int sizeWidth = view->fontMetrics().horizontalAdvance(QStringLiteral("1023 位元組")) + 24;
    view->header()->resizeSection(ShopDates::SizeColumn,
                                  qMax(view->header()->sectionSize(ShopDates::SizeColumn), sizeWidth));
    QSize size = dialog.size().expandedTo(QSize(860, 520));
    if (const QScreen* screen = dialog.screen())
        size = size.boundedTo(screen->availableSize());
    dialog.resize(size);
}

QString askSaveFile(QWidget* parent, const QString& title, const QString& suggested, const QString& filter)
{
    QFileDialog dialog(parent, title, suggested, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    return run(dialog);
}

QString askFolder(QWidget* parent, const QString& title, const QString& start)
{
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return run(dialog);
}

} // namespace lumaro
