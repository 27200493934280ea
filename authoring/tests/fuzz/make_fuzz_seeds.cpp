// Writes the fuzz seed corpus: small messages made by the builder, covering the
// shapes the reader meets (pages with each kind of part, subjects short and long,
// attachments, a hand-written SMIL, many entries). Usage: make_fuzz_seeds <folder>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../raw_mms.h"
#include "mms_maker.h"
#include "page_model.h"
#include "string_list.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace {

class Zero : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t) override { return 0; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string out = std::string(argv[1]) + "/";
    char tmpl[] = "/tmp/quilmar-seeds-XXXXXX";
    const std::string work = std::string(mkdtemp(tmpl)) + "/";
    auto file = [&](const std::string& name, const std::string& bytes) {
        WriteFileBytes(work + name, bytes);
        return work + name;
    };
    Zero rng;
    auto maker = [&] {
        auto m = std::make_unique<TMmsMaker>(rng, work);
        m->SetSmilHead("<head><layout><region id=\"image\"/><region id=\"text\"/></layout></head>");
        return m;
    };
    auto page = [](TMmsMaker& m) {
        m.FPages.Items.push_back(std::make_unique<TPageModel>(&m.FPages));
        return m.FPages.Items.back().get();
    };

    {  // one page, text only, short ASCII subject
        auto m = maker();
        page(*m)->SetMedia(file("a.txt", "hello"), "", "", "", 0);
        m->FSubject = "Hi";
        m->MakeMms(out + "text_only.mms");
    }
    {  // two pages with text, picture, sound and an attachment; Chinese subject
        auto m = maker();
        page(*m)->SetMedia(file("b.txt", Utf8ToCp936("第一页\r\n文字")),
                           file("p.jpg", "\xFF\xD8JPEG\xFF\xD9"), file("s.mid", "MThd"), "", 8);
        page(*m)->SetMedia(file("c.txt", "two"), file("q.gif", "GIF89a"), file("w.wav", "RIFF"),
                           file("d.pdf", "%PDF"), 3);
        m->FSubject = "周末见";
        m->FTo = "13800000000";
        m->FPriority = 2;
        m->MakeMms(out + "two_pages.mms");
    }
    {  // long subject (a two-byte length), no pages
        auto m = maker();
        std::string subject;
        for (int i = 0; i < 50; ++i) subject += "长";
        m->FSubject = subject;
        m->MakeMms(out + "long_subject.mms");
    }
    {  // hand-written SMIL: cid references, a bare "par", durations in s and ms
        auto m = maker();
        const std::string smil =
            file("x.smil",
                 "<smil><body><par dur=\"8s\"><img src=\"cid:0412.jpg\"/></par>\r\n"
                 "<par dur=\"500ms\"><text src=\"t.txt\"/></par>\r\n<par><audio src=\"m.mp3\"/>");
        m->MakeCustomMms(
            out + "custom.mms", smil,
            {file("0412.jpg", "J"), file("t.txt", "T"), file("m.mp3", "M"), file("z.zip", "Z")});
    }
    {  // 130 entries: a count of two bytes
        auto m = maker();
        for (int i = 0; i < 43; ++i)
            page(*m)->SetMedia(file("t" + std::to_string(i) + ".txt", "t"),
                               file("p" + std::to_string(i) + ".png", "P"),
                               file("a" + std::to_string(i) + ".zur", "Z"), "", 0);
        m->MakeMms(out + "many_entries.mms");
    }
    {  // written as other producers write them: Start before Type, parts named only
       // by a Content-ID, cid: references, the other subject forms, a marked text
        using namespace raw_mms;
        const std::string smil =
            "<smil><body><par dur=\"3s\"><text src=\"cid:note\"/><img src=\"cid:p1\"/></par>"
            "<par><img src=\"pic.jpg\"/></par></body></smil>";
        const std::string body =
            Entry(Vl(kSmilType.size() + 5) + kSmilType + B({0xC0, '"'}) + Z("<s>"), smil) +
            Entry(Named("text/plain", "note.txt") + B({0xC0, '"'}) + Z("<note>"),
                  "\xEF\xBB\xBFhi") +
            Entry(CidOnly(0x9E, "p1"), "J") + Entry(CidOnly(0x9E, "p1"), "K") +
            Entry(Named("image/jpeg", "other.jpg") + B({0x8E}) + Z("pic.jpg"), "L") +
            Entry(Named("application/octet-stream", ".."), "M");
        const std::string ct = B({0xB3, 0x8A}) + Z("<s>") + B({0x89}) + kSmilType;
        WriteFileBytes(out + "other_producer.mms",
                       Header(B({0x96, 0x07, 0xEA}) + Z("Hello"), ct) + Uv(6) + body);
        WriteFileBytes(out + "plain_subject.mms",
                       Header(B({0x96}) + Z("Hello"), B({0xB3})) + Uv(6) + body);
    }
    {  // without a SMIL document: a handset's mixed body, a gateway's related one;
       // text parts in declared character sets, one of them mislabelled
        using namespace raw_mms;
        const std::string mixed =
            Entry(TextWithCharset(B({0x81, 0x84}), "a.txt"), "pr\xE4sentiert") +
            Entry(Named("image/jpeg", "p.jpg"), "J") +
            Entry(TextWithCharset(B({0x81, 0x83}), "b.txt"), "pr\xE4sentiert..") +
            Entry(TextWithCharset(B({0x81, 0x02, 0x07, 0xEA}), "c.txt"), "\xA4\xA4\xA4\xE5") +
            Entry(TextWithCharset(B({0x81, 0x02, 0x03, 0xF7}), "d.txt"), "\xFF\xFE\x60\x4F") +
            Entry(Named("application/pdf", "doc"), "%PDF");
        WriteFileBytes(out + "no_smil_mixed.mms",
                       Header(B({0x96}) + Z("Hi"), kMixed) + Uv(6) + mixed);
        WriteFileBytes(out + "no_smil_related.mms",
                       Header("", kRelated + B({0x89}) + Z("text/plain")) + Uv(1) +
                           Entry(CidOnly(0x83, "text"), "Hello"));
    }
    {  // SMIL bodies of other senders: media straight in the body, a "seq" of "par"
       // and media; transfer-encoded and nameless parts; a subject cut inside its
       // last character
        using namespace raw_mms;
        const std::string smil =
            "<smil><head><layout><region id=\"Image\"/></layout></head><body>"
            "<img src=\"cid:p1\" region=\"Image\"/><!-- a comment -->"
            "<seq><par dur=\"2s\"><text src=\"t.txt\"/></par><text src='q.txt' dur=\"3s\"/>"
            "</seq></body></smil>";
        const std::string cte = Z("Content-Transfer-Encoding");
        const std::string body =
            Entry(Named("application/smil", "s.smil"), smil) + Entry(CidOnly(0x9E, "p1"), "J") +
            Entry(Named("text/plain", "t.txt") + cte + Z("base64"), "aGVsbG8=\r\n") +
            Entry(Named("text/plain", "q.txt") + cte + Z("quoted-printable"), "T=C3=A4m=\r\nm") +
            Entry(B({0x83}), "no name") + Entry(B({0x9E}), "no name either");
        const std::string cut = B({0x96, 0x07, 0xEA, 0x7F, 0xD0, 0x98, ' ', 0xD0, 0x00});
        WriteFileBytes(out + "smil_body_media.mms",
                       Header(cut, kRelated + B({0x89}) + kSmilType) + Uv(6) + body);
    }
    {  // files that hold no message: a notification, a failed retrieve
        using namespace raw_mms;
        WriteFileBytes(out + "notification.mms",
                       Pdu(0x82, B({0x98}) + Z("T1") + B({0x8D, 0x92, 0x96}) + Z("Hi") +
                                     B({0x8E, 0x02, 0x10, 0x00, 0x83}) + Z("http://mmsc/x")));
        WriteFileBytes(out + "retrieve_failed.mms",
                       Pdu(0x84, B({0x98}) + Z("T2") + B({0x8D, 0x92, 0x99, 0xE2, 0x9A}) +
                                     Z("Message not found") + B({0x84}) + kMixed + Uv(0)));
    }
    fs::remove_all(work);
    return 0;
}
