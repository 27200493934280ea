// Closing the main window when what it is to save cannot be written: the user
// learns why and may still leave, with what is on disk as it was.
#include <QComboBox>
#include <QTest>
#include <filesystem>
#include <memory>

#include "main_window.h"
#include "system_tab.h"
#include "scripted_questions.h"
#include "test_support.h"

namespace fs = std::filesystem;

class TestCloseAfterFailedSave : public QObject {
    Q_OBJECT

private slots:
    void failedSaveOnCloseLetsTheUserLeave_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("blocked");
        QTest::newRow("mode 1, autosave") << 1 << "mms.mms";
        QTest::newRow("mode 1, settings") << 1 << "mms.ini";
        QTest::newRow("mode 2 Yes, autosave") << 2 << "mms.mms";
    }
    void failedSaveOnCloseLetsTheUserLeave() {
        QFETCH(int, mode);
        QFETCH(QString, blocked);
        TempFolder dir;
        ScriptedQuestions questions;
        TMessagePump pump;
        TClockRandom random;
        auto w = std::make_unique<Tfrmmms>(dir.Path(), questions, pump, random);
        const std::string config = w->ConfigDir;
        // As root no permission stops a write: a folder stands under the name.
        if (blocked == "mms.ini") fs::remove(config + "mms.ini");
        fs::create_directories(config + blocked.toStdString() + "/kept");
        const std::string ini =
            blocked == "mms.ini" ? std::string() : ReadFileBytes(config + "mms.ini");
        w->FCloseHintMode = mode;

        // Staying is the answer that keeps the window open, and nothing changes.
        const std::deque<TAnswer> first = mode == 2 ? std::deque<TAnswer>{TAnswer::Yes, TAnswer::No}
                                                    : std::deque<TAnswer>{TAnswer::No};
        questions.Answers = first;
        QVERIFY(!w->close());
        QCOMPARE(questions.Log.size(), first.size());
        const Asked& box = questions.Log.back();
        QCOMPARE(box.caption, std::string("提示"));
        QVERIFY(box.buttons == TButtons::YesNo);
        QVERIFY2(box.text.rfind("无法保存制作内容：", 0) == 0, box.text.c_str());
        QVERIFY2(box.text.find(blocked.toStdString()) != std::string::npos, box.text.c_str());
        QVERIFY2(box.text.find("是否不保存，直接退出？") != std::string::npos, box.text.c_str());

        // "不保存编辑信息" chosen in the window, not yet saved: the close asks again,
        // and leaving is one answer away.
        w->FSystemTab->CBCloseApphint->setCurrentIndex(0);
        questions.Log.clear();
        questions.Answers = mode == 2 ? std::deque<TAnswer>{TAnswer::Yes, TAnswer::Yes}
                                      : std::deque<TAnswer>{TAnswer::Yes};
        QVERIFY(w->close());
        QVERIFY(fs::is_directory(config + blocked.toStdString() + "/kept"));
        if (!ini.empty()) QCOMPARE(ReadFileBytes(config + "mms.ini"), ini);
    }

    // An autosave the start could not read, with no name left to keep it aside
    // under: no close writes over it or removes it, and the user may still leave.
    void unreadAutosaveThatCannotBeKeptAsideOutlivesTheClose_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("answer");  // to the close question of mode 2
        QTest::newRow("mode 1") << 1 << int(TAnswer::Yes);
        QTest::newRow("mode 2 Yes") << 2 << int(TAnswer::Yes);
        QTest::newRow("mode 2 No") << 2 << int(TAnswer::No);
    }
    void unreadAutosaveThatCannotBeKeptAsideOutlivesTheClose() {
        QFETCH(int, mode);
        QFETCH(int, answer);
        TempFolder dir;
        const std::string config = dir.Path() + "配置目录/";
        fs::create_directories(config);
        const std::string unread = "not a message, but the user's work";
        WriteFileBytes(config + "mms.mms", unread);
        for (int n = 1; n <= 999; ++n)
            WriteFileBytes(config + "mms_未读取_" + std::to_string(n) + ".mms", "kept");
        ScriptedQuestions questions;
        TMessagePump pump;
        TClockRandom random;
        auto w = std::make_unique<Tfrmmms>(dir.Path(), questions, pump, random);
        w->FCloseHintMode = mode;
        questions.Log.clear();
        // Mode 2's question, then the box that says the save cannot be made: leave.
        questions.Answers = mode == 2 ? std::deque<TAnswer>{TAnswer(answer), TAnswer::Yes}
                                      : std::deque<TAnswer>{TAnswer::Yes};
        QVERIFY(w->close());
        QCOMPARE(ReadFileBytes(config + "mms.mms"), unread);
        if (answer == int(TAnswer::Yes)) {
            QVERIFY(!questions.Log.empty());
            const Asked& box = questions.Log.back();
            QVERIFY2(box.text.rfind("无法保存制作内容：", 0) == 0, box.text.c_str());
            QVERIFY2(box.text.find("mms.mms") != std::string::npos, box.text.c_str());
        }
    }
};

QTEST_MAIN(TestCloseAfterFailedSave)
#include "gui_close_test.moc"
