// The window side of the settings, the SMIL templates and "制作彩信": the four tabs
// and their controllers, bound to the window's maker, folders and services.
#include <QLabel>
#include <QScrollArea>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <stdexcept>

#include "chooser_browser.h"
#include "header_tab.h"
#include "main_window.h"
#include "make_controller.h"
#include "output_tab.h"
#include "settings_controller.h"
#include "smil_tab.h"
#include "system_tab.h"

namespace {
// A tab's content scrolls rather than stretching the window past its size.
void Fill(QWidget* sheet, QWidget* content) {
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(sheet);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    layout->addWidget(scroll);
}
}  // namespace

void Tfrmmms::BuildSettingsTabs() {
    auto openFolder = [this](const std::string& dir) { OpenFolder(dir); };
    FHeaderTab = new THeaderTab(TabSheet6);
    Fill(TabSheet6, FHeaderTab);
    FSystemTab = new TSystemTab(*FMaker, FSettings, TabSheet3);
    Fill(TabSheet3, FSystemTab);
    FOutputTab = new TOutputTab(TabSheet2);
    Fill(TabSheet2, FOutputTab);
    FSettingsController = new TSettingsController(ConfigDir + TSettingsStore::kFileName, *FMaker,
                                                  FSettings, *FHeaderTab, *FSystemTab, nullptr, this);
    TSettingsController* settings = FSettingsController;
    FSmilTab = new TSmilTab(ConfigDir, *FMaker, FSettings, FQuestions,
                            [settings] { return settings->SaveSettings(); }, TabSheet7);
    // The status bar's second panel names the chosen template.
    AddStatusPanel(statusBar(), "StatusPanel0", QString(), 50);
    QLabel* smilPanel = AddStatusPanel(statusBar(), "StatusPanel1", QStringLiteral("smil :"), 250, true);
    smilPanel->setFixedWidth(250);
    FSmilTab->FShowStatus = [smilPanel](const QString& s) { smilPanel->setText(s); };
    FSmilTab->FOpenFolder = openFolder;
    Fill(TabSheet7, FSmilTab);
    FMakeController = new TMakeController(*FMaker, FSettings, OutputDir, FQuestions, *FSmilTab,
                                          *FOutputTab, *FSettingsController, this);
    FMakeController->FOpenFolder = openFolder;
}

void Tfrmmms::LoadSettings() { FSettingsController->LoadSettings(); }

void Tfrmmms::ShowSettings() { FSettingsController->ShowSettings(); }

void Tfrmmms::SBSavecfgClick() {
    if (!FSettingsController->GatherSettings()) throw std::runtime_error(kSettingsNotNumbers);
    // Raises with the file and the reason when it cannot be written.
    FSettingsController->Store().SaveSettings();
}

void Tfrmmms::LoadSmilTemplates() { FSmilTab->LoadSmilTemplates(); }

void Tfrmmms::SBNewmmsClick() { FMakeController->SBNewmmsClick(); }
