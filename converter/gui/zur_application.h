// The converter's application object: an error that no code of the window
// handles is handed to the installed handler (which drops it) instead of ending
// the program. It also speaks the interface's language in the toolkit's own
// words (standard buttons, file dialogs) and formats, whatever the desktop's
// locale.
#pragma once

#include <QApplication>
#include <QTranslator>
#include <exception>
#include <functional>

class TZurApplication : public QApplication {
    Q_OBJECT
public:
    using TExceptionEvent = std::function<void(const std::exception&)>;

    TZurApplication(int& argc, char** argv);
    ~TZurApplication() override;
    // Called before the application is made: the desktop's locale names Chinese
    // for the dates, numbers and sizes that the file dialog takes from it, where
    // the system has the Chinese locale.
    static void UseChineseFormats();
    void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }
    bool notify(QObject* Receiver, QEvent* Event) override;

private:
    // The few words the toolkit's catalogue lacks (the file dialog's kinds).
    class TMissingWords : public QTranslator {
    public:
        bool isEmpty() const override { return false; }
        QString translate(const char* Context, const char* SourceText, const char* Disambiguation,
                          int N) const override;
    };

    TExceptionEvent FOnException;
    QTranslator FToolkitWords;
    TMissingWords FMissingWords;
};
