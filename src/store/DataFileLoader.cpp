#include "store/DataFileLoader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"
#include "platform/FileIo.h"
#include "platform/Messages.h"
#include "platform/Utf.h"

namespace store {
namespace {

namespace fs = std::filesystem;
using markup::MarkupDoc;

constexpr std::string_view GamelistFile = "gamelist.xml";
constexpr std::string_view DownloadLogFile = "DownLog.xml";
constexpr std::string_view SettingsFile = "set.xml"; // the name the settings are saved under

// Children of a game, in the order the reader looks for them.
constexpr std::array<std::u16string_view, 7> GameChildren =
    {u"cominfo", u"intro", u"detailintro", u"playskill", u"icopic", u"piclist", u"laststate"};

// Settings elements, in file order.
constexpr std::array<std::u16string_view, 6> SettingNames =
    {u"autostart", u"exit", u"autodown", u"maxnum", u"shortcut", u"autogame"};

template <typename Char>
std::int64_t ParseLeadingInteger(std::basic_string_view<Char> text)
{
    std::size_t pos = 0;
    while (pos < text.size()
           && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\v' || text[pos] == '\f'
               || text[pos] == '\r')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulate negatively so that the smallest value fits; saturate on overflow.
    constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const int digit = static_cast<int>(text[pos] - '0');
        if (value < (Min + digit) / 10) {
            value = Min;
        } else {
            value = value * 10 - digit;
        }
    }
    if (negative) {
        return value;
    }
    return value == Min ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::int32_t ClampToInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value,
                                                              std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::u16string Wide(std::string_view text)
{
    return platform::Utf8ToUtf16(text);
}

std::string Narrow(std::u16string_view text)
{
    return platform::Utf16ToUtf8(text);
}

// UTF-16 to UTF-8 as platform::Utf16ToUtf8 converts (an unpaired surrogate becomes U+FFFD), through
// one scratch buffer, so that each text of a game costs one allocation of its exact size.
class Narrower
{
public:
    void Assign(std::string& out, std::u16string_view text)
    {
        if (m_scratch.size() < text.size() * 3) {
            m_scratch.resize(text.size() * 3 + 64);
        }
        char* const begin = m_scratch.data();
        char* p = begin;
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t cp = text[i];
            if (cp < 0x80) {
                *p++ = static_cast<char>(cp);
                continue;
            }
            if (cp < 0x800) {
                *p++ = static_cast<char>(0xC0 | (cp >> 6));
                *p++ = static_cast<char>(0x80 | (cp & 0x3F));
                continue;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                if (cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
                    ++i;
                    *p++ = static_cast<char>(0xF0 | (cp >> 18));
                    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
                    continue;
                }
                cp = 0xFFFD;
            }
            *p++ = static_cast<char>(0xE0 | (cp >> 12));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
        out.assign(begin, static_cast<std::size_t>(p - begin));
    }

private:
    std::vector<char> m_scratch;
};

// The content of an element exactly as MarkupDoc::GetContent gives it. Plain text (no markup, no
// reference) is the text between the tags itself and is read in place; anything else goes through
// GetContent into holder.
std::u16string_view ContentOf(const MarkupDoc& doc, std::uint32_t element, std::u16string& holder)
{
    const std::u16string& text = doc.GetDocument();
    const markup::ElementRecord r = doc.Element(element);
    const std::uint32_t endTag = r.tagLengths >> 22;
    if (element != 0 && r.firstChild == 0 && endTag != 0) {
        const std::size_t begin =
            std::min<std::size_t>(static_cast<std::size_t>(r.start) + (r.tagLengths & 0x3FFFFFu), text.size());
        const std::size_t end =
            std::min<std::size_t>(static_cast<std::size_t>(r.start) + r.length - endTag, text.size());
        if (begin >= end) {
            return {};
        }
        const std::u16string_view content = std::u16string_view(text).substr(begin, end - begin);
        unsigned markup = 0; // no early exit: the loop vectorises
        for (const char16_t c : content) {
            markup |= static_cast<unsigned>(c == u'<') | static_cast<unsigned>(c == u'&');
        }
        if (markup == 0) {
            return content;
        }
    }
    holder = doc.GetContent(element);
    return holder;
}

// cominfo: every part followed by "##" goes to the next fact; info1 keeps the whole text when
// there is no "##" at all; parts beyond the eleventh are dropped.
void SplitCominfo(std::u16string_view text, GameRecord& record, Narrower& narrow)
{
    std::size_t at = text.find(u"##");
    if (at == std::u16string_view::npos) {
        narrow.Assign(record.info1, text);
        return;
    }
    std::size_t from = 0;
    for (int index = 0; index < CominfoFacts && at != std::u16string_view::npos; ++index) {
        narrow.Assign(*CominfoFact(record, index), text.substr(from, at - from));
        from = at + 2;
        at = text.find(u"##", from);
    }
}

// piclist: every part followed by "##" is a picture; a last part without "##" is dropped.
void SplitPictures(std::u16string_view text, std::vector<std::string>& pictures, Narrower& narrow)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(u"##"); at != std::u16string_view::npos; at = text.find(u"##", at + 2)) {
        ++count;
    }
    pictures.reserve(count);
    std::size_t from = 0;
    for (std::size_t at = text.find(u"##"); at != std::u16string_view::npos; at = text.find(u"##", from)) {
        narrow.Assign(pictures.emplace_back(), text.substr(from, at - from));
        from = at + 2;
    }
}

std::u16string JoinFacts(const GameRecord& record)
{
    std::string joined;
    for (int index = 0; index < CominfoFacts; ++index) {
        joined += *CominfoFact(record, index);
        joined += "##";
    }
    return Wide(joined);
}

std::u16string JoinPictures(const std::vector<std::string>& pictures)
{
    std::string joined;
    for (const std::string& picture : pictures) {
        joined += picture;
        joined += "##";
    }
    return Wide(joined);
}

// --- The exit update without editing the document in place ---------------------------------------
//
// Editing a parsed document moves the whole text behind each edit, which makes the exit update of a
// large catalogue quadratic. Instead the edits the document would make (set the content of a
// laststate, or add one as the last child of its game) are collected as splices of the original
// text, in document order, and made in the file's own bytes in one pass (markup::SpliceFileBytes):
// the text they give is byte for byte what the in-place edits of MarkupDoc give, and every byte of
// the file outside them stays as it was, whatever its encoding and whatever decoding it lost.

using TextSplice = markup::TextEdit;

constexpr std::uint32_t StartTagLength(const markup::ElementRecord& r)
{
    return r.tagLengths & 0x3FFFFFu;
}

constexpr std::uint32_t EndTagLength(const markup::ElementRecord& r)
{
    return r.tagLengths >> 22;
}

// Tag lengths at the top of their bit fields may have been cut: MarkupDoc refuses such edits.
constexpr bool TagLengthsKnown(const markup::ElementRecord& r)
{
    return StartTagLength(r) < 0x3FFFFFu && EndTagLength(r) < 0x3FFu;
}

bool HasEndTagAt(const std::u16string& text, std::size_t pos)
{
    return pos + 2 <= text.size() && text[pos] == u'<' && text[pos + 1] == u'/';
}

// What SetContent(element, value) replaces. False when it would refuse (a parent, an unended element).
bool ContentSplice(const MarkupDoc& doc, std::uint32_t element, std::u16string_view value, TextSplice& splice)
{
    const std::u16string& text = doc.GetDocument();
    const markup::ElementRecord r = doc.Element(element);
    if (r.firstChild != 0 || (r.flags & markup::Unended) != 0 || !TagLengthsKnown(r)) {
        return false;
    }
    std::u16string escaped = MarkupDoc::EscapeText(value, false);
    const std::size_t startEnd = static_cast<std::size_t>(r.start) + StartTagLength(r);
    if (EndTagLength(r) != 0) {
        const std::size_t endTagStart = static_cast<std::size_t>(r.start) + r.length - EndTagLength(r);
        if (startEnd > endTagStart || endTagStart > text.size() || !HasEndTagAt(text, endTagStart)) {
            return false;
        }
        splice = {startEnd, endTagStart - startEnd, std::move(escaped)};
        return true;
    }
    if (startEnd < 2 || startEnd > text.size() || text[startEnd - 2] != u'/' || escaped.empty()) {
        return false;
    }
    splice = {startEnd - 2, 1, u">" + escaped + u"</" + doc.GetTagName(element)};
    return true;
}

// What AddChildElement(name, value) inserts into parent when no child position is set: the new
// element becomes the last child, followed by CR LF.
bool LastChildSplice(const MarkupDoc& doc,
                     std::uint32_t parent,
                     std::u16string_view name,
                     std::u16string_view value,
                     TextSplice& splice)
{
    const std::u16string& text = doc.GetDocument();
    const markup::ElementRecord p = doc.Element(parent);
    if (!TagLengthsKnown(p)) {
        return false;
    }
    std::u16string tag = u"<" + std::u16string(name) + u">" + MarkupDoc::EscapeText(value, false) + u"</"
                         + std::u16string(name) + u">\r\n";
    const std::size_t startEnd = static_cast<std::size_t>(p.start) + StartTagLength(p);
    const std::size_t endTagStart = static_cast<std::size_t>(p.start) + p.length - EndTagLength(p);
    if (EndTagLength(p) == 0) {
        if ((p.flags & markup::Unended) != 0 || startEnd < 2 || startEnd > text.size() || text[startEnd - 2] != u'/'
            || text[startEnd - 1] != u'>') {
            return false;
        }
        // An empty parent is opened: "/>" becomes ">", the new element and the end tag.
        splice = {startEnd - 2, 1, u">\r\n" + tag + u"</" + doc.GetTagName(parent)};
        return true;
    }
    if (endTagStart > text.size() || !HasEndTagAt(text, endTagStart)) {
        return false;
    }
    if (startEnd == endTagStart) {
        splice = {startEnd, 0, u"\r\n" + tag};
    } else {
        splice = {endTagStart, 0, std::move(tag)};
    }
    return true;
}

} // namespace

std::size_t RemoveStaleSaves(const std::filesystem::path& programDir)
{
    return markup::RemoveStaleTemporaries(programDir, {GamelistFile, DownloadLogFile, SettingsFile});
}

std::int64_t LeadingInteger(std::u16string_view text)
{
    return ParseLeadingInteger(text);
}

std::int64_t LeadingInteger(std::string_view text)
{
    return ParseLeadingInteger(text);
}

DataFileLoader::DataFileLoader(platform::WindowHandle notify, std::filesystem::path programDir)
    : m_notify(notify)
    , m_programDir(std::move(programDir))
{}

void DataFileLoader::PostStage(std::uint32_t stage, std::uint32_t flag) const
{
    if (m_notify != 0 && platform::IsWindow(m_notify)) {
        platform::PostMessageTo(m_notify, platform::msg::SplashStage, platform::PackWords(stage, flag), 0);
    }
}

std::filesystem::path DataFileLoader::PathOf(std::string_view fileName) const
{
    return m_programDir / fs::path(std::u8string(fileName.begin(), fileName.end()));
}

bool DataFileLoader::LoadCatalogue(std::string_view fileName, GameCatalogue& catalogue) const
{
    MarkupDoc doc;
    if (!doc.Load(PathOf(fileName))) {
        return false;
    }
    PostStage(stage::DataFileLoaded, 0);
    ReadGames(doc, catalogue);
    return true;
}

bool DataFileLoader::ParseCatalogue(std::u16string_view text, GameCatalogue& catalogue) const
{
    MarkupDoc doc;
    if (!doc.SetDocument(text)) {
        return false;
    }
    PostStage(stage::DataFileLoaded, 0);
    ReadGames(doc, catalogue);
    return true;
}

void DataFileLoader::ReadGames(MarkupDoc& doc, GameCatalogue& catalogue) const
{
    doc.ResetPos();
    if (!doc.FindElement(u"gamelist")) {
        PostStage(stage::GameDetails, 1);
        return;
    }
    PostStage(stage::GameDetails, 0);
    Narrower narrow;
    std::array<std::u16string, GameChildren.size()> holders;
    std::array<std::u16string_view, GameChildren.size()> values;
    while (doc.FindChildElement(u"game")) {
        GameRecord record;
        narrow.Assign(record.id, doc.GetChildAttribute(u"id"));
        narrow.Assign(record.name, doc.GetChildAttribute(u"name"));
        narrow.Assign(record.srcname, doc.GetChildAttribute(u"srcname"));
        doc.EnterElement();
        // A child missing from its place stays empty; the search for the next goes on from the
        // last child found, so children out of order are not seen.
        for (std::size_t i = 0; i < GameChildren.size(); ++i) {
            values[i] = doc.FindChildElement(GameChildren[i]) ? ContentOf(doc, doc.ChildPos(), holders[i])
                                                              : std::u16string_view();
        }
        doc.LeaveElement();

        SplitCominfo(values[0], record, narrow);
        narrow.Assign(record.intro, values[1]);
        narrow.Assign(record.detailintro, values[2]);
        narrow.Assign(record.playskill, values[3]);
        narrow.Assign(record.icopic, values[4]);
        SplitPictures(values[5], record.pictures, narrow);
        if (!values[6].empty()) {
            std::int64_t state = ParseLeadingInteger(values[6]);
            if (state < game_state::NotDownloaded || state > game_state::Recycled) {
                state = game_state::NotDownloaded;
            }
            record.state =
                EffectiveState(static_cast<std::int32_t>(state), ParseLeadingInteger(std::string_view(record.id)));
        }
        if (record.state != game_state::Downloaded) {
            record.info11.clear();
        }
        // Files are written in id order: the end is the right place for most records.
        std::string key = record.id;
        catalogue.insert_or_assign(catalogue.end(), std::move(key), std::move(record));
    }
}

std::int32_t DataFileLoader::EffectiveState(std::int32_t state, std::int64_t id) const
{
    if (state != game_state::Downloaded) {
        return state;
    }
    std::error_code ec;
    const fs::path package = m_programDir / "download" / (std::to_string(id) + ".zip");
    return fs::is_regular_file(package, ec) ? game_state::Downloaded : game_state::Paused;
}

bool DataFileLoader::WriteCatalogue(const GameCatalogue& catalogue, bool withStates) const
{
    MarkupDoc doc;
    doc.AddElement(u"gamelist");
    for (const auto& [key, record] : catalogue) {
        doc.AddChildElement(u"game");
        doc.SetChildAttribute(u"id", Wide(record.id));
        doc.SetChildAttribute(u"name", Wide(record.name));
        doc.SetChildAttribute(u"srcname", Wide(record.srcname));
        doc.EnterElement();
        doc.AddChildElement(u"cominfo", JoinFacts(record));
        doc.AddChildElement(u"intro", Wide(record.intro));
        doc.AddChildElement(u"detailintro", Wide(record.detailintro));
        doc.AddChildElement(u"playskill", Wide(record.playskill));
        doc.AddChildElement(u"icopic", Wide(record.icopic));
        if (!record.pictures.empty()) {
            doc.AddChildElement(u"piclist", JoinPictures(record.pictures));
        }
        if (withStates) {
            doc.AddChildElement(u"laststate", Wide(std::to_string(record.state)));
        }
        doc.LeaveElement();
    }
    return doc.Save(PathOf(GamelistFile));
}

bool DataFileLoader::SaveCatalogueState(std::string_view fileName, const GameCatalogue& catalogue) const
{
    const fs::path file = PathOf(fileName);
    bool saved = false;
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        // Nothing to update: the program leaves an empty game list behind.
        std::uint32_t flags = 0;
        saved = markup::SaveFile(&flags, std::u16string_view(), file);
    } else {
        // A file that exists but cannot be read, or is not a well-formed document, is left as it
        // is: writing it back would empty it or could damage its bytes.
        std::string bytes;
        std::u16string text;
        markup::FileLayout layout;
        MarkupDoc doc;
        const bool readable = markup::ReadFileBytes(file, bytes);
        if (readable) {
            markup::DecodeFileBytes(bytes, text, nullptr, nullptr, &layout);
        }
        if (readable && doc.TakeDocument(std::move(text))) {
            std::vector<TextSplice> splices;
            if (doc.FindElement(u"gamelist")) {
                while (doc.FindChildElement(u"game")) {
                    const auto found = catalogue.find(Narrow(doc.GetChildAttribute(u"id")));
                    if (found == catalogue.end()) {
                        continue;
                    }
                    const std::uint32_t game = doc.ChildPos();
                    doc.EnterElement();
                    const std::int32_t state =
                        EffectiveState(found->second.state, ParseLeadingInteger(std::string_view(found->first)));
                    const std::u16string value = Wide(std::to_string(state));
                    TextSplice splice;
                    if (doc.FindChildElement(u"laststate")) {
                        const std::uint32_t laststate = doc.ChildPos();
                        if (doc.GetContent(laststate) != value && ContentSplice(doc, laststate, value, splice)) {
                            splices.push_back(std::move(splice));
                        }
                    } else if (LastChildSplice(doc, game, u"laststate", value, splice)) {
                        splices.push_back(std::move(splice));
                    }
                    doc.LeaveElement();
                }
            }
            // Games are siblings in document order, so the splices are too; keep them apart anyway.
            std::stable_sort(splices.begin(), splices.end(), [](const TextSplice& a, const TextSplice& b) {
                return a.pos < b.pos;
            });
            std::size_t end = 0;
            std::erase_if(splices, [&end](const TextSplice& s) {
                if (s.pos < end) {
                    return true;
                }
                end = s.pos + s.oldLength;
                return false;
            });
            // Only the bytes of the edits change; edits that cannot be placed in the bytes with
            // certainty leave the file as it is.
            if (std::optional<std::string> updated =
                    markup::SpliceFileBytes(bytes, layout, doc.GetDocument(), splices)) {
                bytes.clear();
                bytes.shrink_to_fit();
                saved = markup::WriteFileAtomically(file, *updated);
            }
        }
    }
    static_cast<void>(SaveDownloadLog(catalogue));
    return saved;
}

bool DataFileLoader::LoadDownloadLog(std::string_view fileName, DownloadLog& log) const
{
    MarkupDoc doc;
    if (!doc.Load(PathOf(fileName))) {
        return false;
    }
    // The first search enters the root element, whatever its name.
    while (doc.FindChildElement(u"log")) {
        log.insert_or_assign(Narrow(doc.GetChildAttribute(u"id")), Narrow(doc.GetChildAttribute(u"dawndate")));
    }
    return true;
}

bool DataFileLoader::SaveDownloadLog(const GameCatalogue& catalogue) const
{
    MarkupDoc doc;
    doc.AddElement(u"downlog");
    for (const auto& [key, record] : catalogue) {
        if (record.state != game_state::Downloaded || record.dawndate.empty()) {
            continue;
        }
        doc.AddChildElement(u"log");
        doc.SetChildAttribute(u"id", Wide(record.id));
        doc.SetChildAttribute(u"dawndate", Wide(record.dawndate));
    }
    return doc.Save(PathOf(DownloadLogFile));
}

bool DataFileLoader::LoadSettings(std::string_view fileName, BoxSettings& settings) const
{
    MarkupDoc doc;
    if (!doc.Load(PathOf(fileName))) {
        return false;
    }
    SharedValue<bool>* const flags[] =
        {&settings.autostart, &settings.exit, &settings.autodown, nullptr, &settings.shortcut, &settings.autogame};
    // Searched in file order: an element that stands before the one found last is not seen.
    for (std::size_t i = 0; i < SettingNames.size(); ++i) {
        if (!doc.FindChildElement(SettingNames[i])) {
            continue;
        }
        const std::int64_t value = ParseLeadingInteger(std::u16string_view(doc.GetChildAttribute(u"value")));
        if (flags[i] != nullptr) {
            *flags[i] = value != 0;
        } else {
            settings.maxnum = ClampToInt32(value);
        }
    }
    return true;
}

bool DataFileLoader::SaveSettings(std::string_view fileName, const BoxSettings& settings) const
{
    const bool flags[] =
        {settings.autostart, settings.exit, settings.autodown, false, settings.shortcut, settings.autogame};
    MarkupDoc doc;
    doc.AddElement(u"set");
    for (std::size_t i = 0; i < SettingNames.size(); ++i) {
        doc.AddChildElement(SettingNames[i]);
        const std::string value =
            SettingNames[i] == u"maxnum" ? std::to_string(settings.maxnum.Get()) : std::string(flags[i] ? "1" : "0");
        doc.SetChildAttribute(u"value", Wide(value));
    }
    return doc.Save(PathOf(fileName));
}

void MergeDownloadLog(const DownloadLog& log, GameCatalogue& catalogue)
{
    for (auto& [id, record] : catalogue) {
        if (record.state != game_state::Downloaded) {
            continue;
        }
        if (const auto found = log.find(id); found != log.end()) {
            record.dawndate = found->second;
        }
    }
}

} // namespace store
