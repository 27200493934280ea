// An editing window without a window, whose pages are the maker's own, for the
// programs that read messages without a display (the reader's fuzz target and
// benchmarks): every question is answered OK and every draw is 0.
#pragma once

#include "message_editor.h"
#include "mms_maker.h"
#include "page_model.h"
#include "services.h"

class TZeroRandom : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t) override { return 0; }
};

class TOkQuestions : public TQuestions {
public:
    TAnswer Ask(const std::string&, const std::string&, TButtons, TIcon, TAnswer) override {
        return TAnswer::Ok;
    }
};

class TOwnPagesEditor : public TMessageEditor {
public:
    explicit TOwnPagesEditor(TMmsMaker& maker) : maker_(maker) {}
    void NewMessage() override { maker_.FPages.Clear(); }
    TPageModel* NewPage() override {
        TPageModel* page = maker_.FPages.InsertAfterSelected();
        page->SelectPage();
        return page;
    }
    void ShowSubject(const std::string&) override {}
    TQuestions& Questions() override { return answers_; }
    TMessagePump& Pump() override { return pump_; }

private:
    TMmsMaker& maker_;
    TOkQuestions answers_;
    TMessagePump pump_;
};
