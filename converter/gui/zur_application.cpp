#include "zur_application.h"

#include <locale.h>

#include <QLibraryInfo>
#include <QLocale>
#include <cstring>

TZurApplication::TZurApplication(int& argc, char** argv) : QApplication(argc, argv) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (FToolkitWords.load(QStringLiteral("qt_zh_CN"), folder) ||
        FToolkitWords.load(QStringLiteral("qtbase_zh_CN"), folder))
        installTranslator(&FToolkitWords);
    installTranslator(&FMissingWords);
}

TZurApplication::~TZurApplication() {
    removeTranslator(&FMissingWords);
    removeTranslator(&FToolkitWords);
}

void TZurApplication::UseChineseFormats() {
    // A locale for everything (LC_ALL) would hide the parts named here; it
    // stays in force for the rest (the characters' encoding among them).
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qputenv("LANG", all);
        qunsetenv("LC_ALL");
    }
    // Only where the system has the Chinese locale: one it lacks would make the C
    // library refuse the desktop's locale as a whole (and the programs started
    // from here theirs), leaving plain ASCII for the characters.
    const struct {
        const char* Name;
        int Mask;
    } parts[] = {{"LC_TIME", LC_TIME_MASK},
                 {"LC_NUMERIC", LC_NUMERIC_MASK},
                 {"LC_MESSAGES", LC_MESSAGES_MASK}};
    for (const auto& part : parts) {
        const locale_t chinese = ::newlocale(part.Mask, "zh_CN.UTF-8", locale_t(0));
        if (!chinese) continue;
        ::freelocale(chinese);
        qputenv(part.Name, "zh_CN.UTF-8");
    }
}

QString TZurApplication::TMissingWords::translate(const char* Context, const char* SourceText,
                                                  const char*, int) const {
    if (!SourceText || std::strcmp(Context, "QAbstractFileIconProvider") != 0) return {};
    static const struct {
        const char* English;
        const char* Chinese;
    } kWords[] = {{"Folder", "文件夹"},   {"File", "文件"},         {"Drive", "驱动器"},
                  {"%1 File", "%1 文件"}, {"Shortcut", "快捷方式"}, {"Alias", "别名"},
                  {"Unknown", "未知"}};
    for (const auto& word : kWords)
        if (std::strcmp(SourceText, word.English) == 0) return QString::fromUtf8(word.Chinese);
    return {};
}

bool TZurApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& e) {
        if (FOnException) FOnException(e);
        return false;
    }
}
