// What the reader's benchmarks share: a random source that always gives 0, and an
// editing window without a window, whose pages are the maker's own.
#pragma once

#include "bench_support.h"
#include "message_editor.h"
#include "mms_maker.h"
#include "page_model.h"

class Zero : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t) override { return 0; }
};

class Editor : public TMessageEditor {
public:
    explicit Editor(TMmsMaker& maker) : maker_(maker) {}
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
    SilentQuestions answers_;
    TMessagePump pump_;
};
