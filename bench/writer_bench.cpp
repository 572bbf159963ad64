// Document writers and text search.
//
// BM_Writer / BM_WriterFilter replay a generated event stream of about 10 MB
// of text (a body of paragraphs with inline markup and attributes, as a
// parser would deliver it) into a fresh document and report events per
// second. BM_FindTextAbsent searches a document of about 10 MB of text for a
// word that does not occur (the worst case: every text node is decoded and
// scanned), with and without case folding.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/range.h"
#include "dom/writer.h"
#include "foundation/lvstring.h"

namespace {

struct Event {
    enum Kind { Open, Attr, Body, Text, Close } kind;
    std::u16string name;
    std::u16string value;
};

// Words of mixed scripts, so that the text is not all ASCII.
const char* const kWords[] = {"the",   "reader", "opened", "book",  "and",    "turned",
                              "page",  "slowly", "river",  "night", "книга",  "читатель",
                              "город", "Word",   "light",  "over",  "mountain", "letter"};

std::u16string widen(const char* utf8) {
    LVString16 w(utf8);
    return std::u16string(w.c_str(), static_cast<size_t>(w.length()));
}

// About targetBytes of UTF-8 text in paragraphs of ~60 words, every fourth
// word run in <b> or <i>, every paragraph with a class attribute.
const std::vector<Event>& eventStream(size_t targetBytes = 10u << 20) {
    static std::vector<Event> events;
    if (!events.empty()) return events;
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    std::vector<std::u16string> words;
    for (const char* w : kWords) words.push_back(widen(w));
    events.push_back({Event::Open, u"html", u""});
    events.push_back({Event::Body, u"", u""});
    events.push_back({Event::Open, u"body", u""});
    events.push_back({Event::Body, u"", u""});
    size_t bytes = 0;
    while (bytes < targetBytes) {
        events.push_back({Event::Open, u"p", u""});
        events.push_back({Event::Attr, u"class", next() % 2 ? u"text" : u"first"});
        events.push_back({Event::Body, u"", u""});
        std::u16string run;
        for (int w = 0; w < 60; ++w) {
            run += words[next() % words.size()];
            run += u' ';
            if (w % 4 == 3) {
                events.push_back({Event::Text, u"", run});
                bytes += LVString8(encodeUtf8(run.data(), run.size())).length();
                run.clear();
                const char16_t* tag = next() % 2 ? u"b" : u"i";
                events.push_back({Event::Open, tag, u""});
                events.push_back({Event::Body, u"", u""});
                events.push_back({Event::Text, u"", words[next() % words.size()]});
                events.push_back({Event::Close, tag, u""});
            }
        }
        if (!run.empty()) events.push_back({Event::Text, u"", run});
        events.push_back({Event::Close, u"p", u""});
    }
    events.push_back({Event::Close, u"body", u""});
    events.push_back({Event::Close, u"html", u""});
    return events;
}

void replay(LVXMLParserCallback& cb, const std::vector<Event>& events) {
    cb.OnStart(nullptr);
    for (const Event& e : events) {
        switch (e.kind) {
        case Event::Open: cb.OnTagOpen(nullptr, e.name.c_str()); break;
        case Event::Attr: cb.OnAttribute(nullptr, e.name.c_str(), e.value.c_str()); break;
        case Event::Body: cb.OnTagBody(); break;
        case Event::Text:
            cb.OnText(e.value.data(), static_cast<int32_t>(e.value.size()), cb.getFlags());
            break;
        case Event::Close: cb.OnTagClose(nullptr, e.name.c_str()); break;
        }
    }
    cb.OnStop();
}

template <class WriterT>
void runWriter(benchmark::State& state) {
    const std::vector<Event>& events = eventStream();
    size_t textChars = 0;
    for (const Event& e : events)
        if (e.kind == Event::Text) textChars += e.value.size();
    for (auto _ : state) {
        Ref<ldomDocument> doc = ldomDocument::create();
        {
            WriterT writer(doc.get());
            replay(writer, events);
        }
        benchmark::DoNotOptimize(doc->getElementCount());
    }
    state.counters["events/s"] = benchmark::Counter(
        static_cast<double>(events.size()) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["events"] = static_cast<double>(events.size());
    state.counters["text_chars"] = static_cast<double>(textChars);
}

void BM_Writer(benchmark::State& state) { runWriter<ldomDocumentWriter>(state); }
void BM_WriterFilter(benchmark::State& state) { runWriter<ldomDocumentWriterFilter>(state); }
BENCHMARK(BM_Writer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriterFilter)->Unit(benchmark::kMillisecond);

void BM_FindTextAbsent(benchmark::State& state) {
    static Ref<ldomDocument> doc;
    if (!doc) {
        doc = ldomDocument::create();
        ldomDocumentWriterFilter writer(doc.get());
        replay(writer, eventStream());
    }
    bool caseInsensitive = state.range(0) != 0;
    const LVString16 pattern("zebrafish");
    for (auto _ : state) {
        std::vector<ldomWordSpan> words;
        bool found = doc->findText(pattern, caseInsensitive, false, 0, 0, words, 200, 0);
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(caseInsensitive ? "case-insensitive" : "case-sensitive");
    state.counters["text_nodes"] = static_cast<double>(doc->getTextCount());
}
BENCHMARK(BM_FindTextAbsent)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
