// Loading and walking gamelist files: MarkupDoc against pugixml, tinyxml2 and libxml2 in one run.
// Each load benchmark reads the file from disk and parses it; each walk benchmark reads every
// game's three attributes and the contents of its children into owned strings, as the catalogue
// loader does. At the end a table gives MB/s and every peer's time relative to MarkupDoc.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"

#ifdef MARLUNE_BENCH_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef MARLUNE_BENCH_HAVE_TINYXML2
#include <tinyxml2.h>
#endif
#ifdef MARLUNE_BENCH_HAVE_LIBXML_2_0
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace {

namespace fs = std::filesystem;

const char* const ChildNames[] = {"cominfo", "intro", "detailintro", "playskill", "icopic", "piclist", "laststate"};
const char16_t* const ChildNames16[] =
    {u"cominfo", u"intro", u"detailintro", u"playskill", u"icopic", u"piclist", u"laststate"};

std::size_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<std::size_t>(size);
}

void Finish(benchmark::State& state, const std::string& path, std::size_t games)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FileSize(path)));
    state.counters["games"] = static_cast<double>(games);
}

// MarkupDoc ---------------------------------------------------------------------------------

bool LoadMarkup(markup::MarkupDoc& doc, const std::string& path)
{
    return doc.Load(path);
}

void LoadMarlune(benchmark::State& state, const std::string& path)
{
    std::size_t elements = 0;
    std::size_t indexBytes = 0;
    for (auto _ : state) {
        markup::MarkupDoc doc;
        if (!LoadMarkup(doc, path)) {
            state.SkipWithError("load failed");
            return;
        }
        elements = doc.ElementCount();
        indexBytes = doc.IndexBytes();
        benchmark::DoNotOptimize(doc.GetDocument().data());
    }
    Finish(state, path, 0);
    state.counters["elements"] = static_cast<double>(elements);
    state.counters["index_B/element"] = static_cast<double>(indexBytes) / static_cast<double>(elements);
}

void WalkMarlune(benchmark::State& state, const std::string& path)
{
    markup::MarkupDoc doc;
    if (!LoadMarkup(doc, path)) {
        state.SkipWithError("load failed");
        return;
    }
    std::size_t games = 0;
    for (auto _ : state) {
        games = 0;
        std::size_t chars = 0;
        doc.ResetPos();
        doc.FindElement(u"gamelist");
        while (doc.FindChildElement(u"game")) {
            ++games;
            std::u16string id = doc.GetChildAttribute(u"id");
            std::u16string name = doc.GetChildAttribute(u"name");
            std::u16string srcname = doc.GetChildAttribute(u"srcname");
            chars += id.size() + name.size() + srcname.size();
            doc.EnterElement();
            for (const char16_t* child : ChildNames16) {
                if (doc.FindChildElement(child)) {
                    doc.EnterElement();
                    std::u16string value = doc.GetContent();
                    chars += value.size();
                    doc.LeaveElement();
                }
            }
            doc.LeaveElement();
        }
        benchmark::DoNotOptimize(chars);
    }
    Finish(state, path, games);
}

// The exit update: every game gets a laststate child (or its laststate changed) in place.
void UpdateMarlune(benchmark::State& state, const std::string& path)
{
    std::u16string text;
    if (!markup::LoadFile(path, text)) {
        state.SkipWithError("load failed");
        return;
    }
    std::size_t games = 0;
    for (auto _ : state) {
        state.PauseTiming();
        markup::MarkupDoc doc;
        doc.SetDocument(text);
        state.ResumeTiming();
        games = 0;
        doc.FindElement(u"gamelist");
        while (doc.FindChildElement(u"game")) {
            ++games;
            doc.EnterElement();
            if (doc.FindChildElement(u"laststate")) {
                doc.SetContent(doc.ChildPos(), u"3");
            } else {
                doc.AddChildElement(u"laststate", u"3");
            }
            doc.LeaveElement();
        }
        benchmark::DoNotOptimize(doc.GetDocument().size());
    }
    Finish(state, path, games);
}

// pugixml -----------------------------------------------------------------------------------

#ifdef MARLUNE_BENCH_HAVE_PUGIXML
void LoadPugixml(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_file(path.c_str())) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(doc.first_child());
    }
    Finish(state, path, 0);
}

void WalkPugixml(benchmark::State& state, const std::string& path)
{
    pugi::xml_document doc;
    doc.load_file(path.c_str());
    std::size_t games = 0;
    for (auto _ : state) {
        games = 0;
        std::size_t chars = 0;
        for (pugi::xml_node game : doc.child("gamelist").children("game")) {
            ++games;
            std::string id = game.attribute("id").value();
            std::string name = game.attribute("name").value();
            std::string srcname = game.attribute("srcname").value();
            chars += id.size() + name.size() + srcname.size();
            for (const char* child : ChildNames) {
                pugi::xml_node node = game.child(child);
                if (node) {
                    std::string value = node.child_value();
                    chars += value.size();
                }
            }
        }
        benchmark::DoNotOptimize(chars);
    }
    Finish(state, path, games);
}
#endif

// tinyxml2 ----------------------------------------------------------------------------------

#ifdef MARLUNE_BENCH_HAVE_TINYXML2
void LoadTinyxml2(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        tinyxml2::XMLDocument doc;
        if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(doc.RootElement());
    }
    Finish(state, path, 0);
}

void WalkTinyxml2(benchmark::State& state, const std::string& path)
{
    tinyxml2::XMLDocument doc;
    doc.LoadFile(path.c_str());
    std::size_t games = 0;
    for (auto _ : state) {
        games = 0;
        std::size_t chars = 0;
        for (const tinyxml2::XMLElement* game = doc.RootElement()->FirstChildElement("game"); game != nullptr;
             game = game->NextSiblingElement("game")) {
            ++games;
            for (const char* attribute : {"id", "name", "srcname"}) {
                const char* v = game->Attribute(attribute);
                std::string value = v != nullptr ? v : "";
                chars += value.size();
            }
            for (const char* child : ChildNames) {
                const tinyxml2::XMLElement* node = game->FirstChildElement(child);
                if (node != nullptr) {
                    const char* text = node->GetText();
                    std::string value = text != nullptr ? text : "";
                    chars += value.size();
                }
            }
        }
        benchmark::DoNotOptimize(chars);
    }
    Finish(state, path, games);
}
#endif

// libxml2 -----------------------------------------------------------------------------------

#ifdef MARLUNE_BENCH_HAVE_LIBXML_2_0
void LoadLibxml2(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
        if (doc == nullptr) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    Finish(state, path, 0);
}

void WalkLibxml2(benchmark::State& state, const std::string& path)
{
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
    std::size_t games = 0;
    auto named = [](xmlNodePtr node, const char* name) {
        return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
    };
    for (auto _ : state) {
        games = 0;
        std::size_t chars = 0;
        for (xmlNodePtr game = xmlDocGetRootElement(doc)->children; game != nullptr; game = game->next) {
            if (!named(game, "game")) {
                continue;
            }
            ++games;
            for (const char* attribute : {"id", "name", "srcname"}) {
                xmlChar* v = xmlGetProp(game, reinterpret_cast<const xmlChar*>(attribute));
                chars += v != nullptr ? static_cast<std::size_t>(xmlStrlen(v)) : 0;
                xmlFree(v);
            }
            for (const char* child : ChildNames) {
                for (xmlNodePtr node = game->children; node != nullptr; node = node->next) {
                    if (named(node, child)) {
                        xmlChar* v = xmlNodeGetContent(node);
                        chars += v != nullptr ? static_cast<std::size_t>(xmlStrlen(v)) : 0;
                        xmlFree(v);
                        break;
                    }
                }
            }
        }
        benchmark::DoNotOptimize(chars);
    }
    xmlFreeDoc(doc);
    Finish(state, path, games);
}
#endif

// Keeps every run's time so that the ratios can be printed after the console report.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                std::string name = run.benchmark_name();
                const std::size_t suffix = name.find("/real_time");
                if (suffix != std::string::npos) {
                    name.resize(suffix);
                }
                m_times[name] = run.GetAdjustedRealTime();
                const auto bytes = run.counters.find("bytes_per_second");
                if (bytes != run.counters.end()) {
                    m_mbps[name] = bytes->second.value / 1e6;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios(const std::vector<std::string>& files) const
    {
        std::printf("\n%-10s %-10s %-9s %10s %10s %12s\n",
                    "operation",
                    "file",
                    "library",
                    "ms",
                    "MB/s",
                    "time/marlune");
        for (const char* op : {"load", "walk", "update"}) {
            for (const std::string& file : files) {
                const auto base = m_times.find(std::string(op) + "/marlune/" + file);
                for (const char* lib : {"marlune", "pugixml", "tinyxml2", "libxml2"}) {
                    const std::string name = std::string(op) + "/" + lib + "/" + file;
                    const auto t = m_times.find(name);
                    if (t == m_times.end()) {
                        continue;
                    }
                    const auto mb = m_mbps.find(name);
                    std::printf("%-10s %-10s %-9s %10.2f %10.1f %12.2f\n",
                                op,
                                file.c_str(),
                                lib,
                                t->second,
                                mb != m_mbps.end() ? mb->second : 0.0,
                                base != m_times.end() ? t->second / base->second : 0.0);
                }
            }
        }
    }

private:
    std::map<std::string, double> m_times;
    std::map<std::string, double> m_mbps;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = MARLUNE_BENCH_DATA_DIR;
    std::vector<std::string> files;
    for (const char* games : {"4150", "100000"}) {
        const std::string path = dir + "/gamelist-" + games + ".xml";
        if (FileSize(path) == 0) {
            std::fprintf(stderr, "missing %s (build the target markup_bench_data)\n", path.c_str());
            continue;
        }
        files.push_back(games);
        const std::string tag = std::string("/") + games;
        auto add = [&](const std::string& name, void (*fn)(benchmark::State&, const std::string&)) {
            benchmark::RegisterBenchmark(name.c_str(), fn, path)->Unit(benchmark::kMillisecond)->UseRealTime();
        };
        add("load/marlune" + tag, LoadMarlune);
#ifdef MARLUNE_BENCH_HAVE_PUGIXML
        add("load/pugixml" + tag, LoadPugixml);
#endif
#ifdef MARLUNE_BENCH_HAVE_TINYXML2
        add("load/tinyxml2" + tag, LoadTinyxml2);
#endif
#ifdef MARLUNE_BENCH_HAVE_LIBXML_2_0
        add("load/libxml2" + tag, LoadLibxml2);
#endif
        add("walk/marlune" + tag, WalkMarlune);
        if (std::string(games) == "4150") {
            add("update/marlune" + tag, UpdateMarlune);
        }
#ifdef MARLUNE_BENCH_HAVE_PUGIXML
        add("walk/pugixml" + tag, WalkPugixml);
#endif
#ifdef MARLUNE_BENCH_HAVE_TINYXML2
        add("walk/tinyxml2" + tag, WalkTinyxml2);
#endif
#ifdef MARLUNE_BENCH_HAVE_LIBXML_2_0
        add("walk/libxml2" + tag, WalkLibxml2);
#endif
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(files);
    benchmark::Shutdown();
    return 0;
}
