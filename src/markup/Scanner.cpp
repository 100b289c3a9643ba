#include <array>

#include "markup/MarkupInternal.h"

namespace markup::detail {
namespace {

// Start of the text from 'from' on where the ASCII pattern begins; npos when absent.
std::size_t FindFrom(std::u16string_view text, std::u16string_view pattern, std::size_t from)
{
    if (from >= text.size()) {
        return std::u16string_view::npos;
    }
    return text.find(pattern, from);
}

bool StartsTag(char16_t c)
{
    return (c >= 65 && c <= 90) || c >= 97 || c == u'_' || c == u':';
}

void Unterminated(std::u16string_view text, std::size_t pos, const char16_t* type, Node& node, std::u16string* notes)
{
    AddNote(notes, u"unterminated_tag_syntax", u"type", type, u"offset", static_cast<long long>(pos));
    node.kind = NodeError;
    node.length = text.size() - pos;
}

// An error node runs from pos to the next '>' at or after 'from' (or to the end of the text).
void ErrorNode(std::u16string_view text,
               std::size_t pos,
               std::size_t from,
               const char16_t* word,
               Node& node,
               std::u16string* notes)
{
    AddNote(notes, word, {}, {}, u"offset", static_cast<long long>(pos));
    node.kind = NodeError;
    const std::size_t close = FindFrom(text, u">", from);
    node.length = (close == std::u16string_view::npos ? text.size() : close + 1) - pos;
}

char16_t LowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

} // namespace

std::u16string Widen(std::string_view ascii)
{
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::size_t NameLength(std::u16string_view text, std::size_t pos)
{
    std::size_t end = pos;
    while (end < text.size() && !IsNameEnd(text[end])) {
        ++end;
    }
    return end - pos;
}

std::size_t TagNameStart(std::u16string_view text, std::size_t start)
{
    std::size_t pos = start + 1;
    if (pos < text.size() && (text[pos] == u'/' || text[pos] == u'?')) {
        ++pos;
    }
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    return pos < text.size() ? pos : text.size();
}

bool MatchName(std::u16string_view docName, std::u16string_view wanted, bool ignoreCase)
{
    if (docName.empty() || wanted.size() < docName.size()) {
        return false;
    }
    bool exact = !ignoreCase;
    for (std::size_t i = 0; i < docName.size(); ++i) {
        const char16_t a = docName[i];
        const char16_t b = wanted[i];
        if (a == b) {
            if (a >= 128) {
                exact = true;
            }
            continue;
        }
        if (exact || LowerAscii(a) != LowerAscii(b)) {
            return false;
        }
    }
    if (wanted.size() == docName.size()) {
        return true;
    }
    const char16_t next = wanted[docName.size()];
    return next == u' ' || next == u'=' || next == u'/' || next == u'[' || next == u']';
}

std::uint64_t NameHash(std::u16string_view name, bool ignoreCase)
{
    std::uint64_t hash = NameHashSeed;
    bool exact = !ignoreCase;
    for (char16_t c : name) {
        hash = NameHashStep(hash, c, exact);
    }
    return hash;
}

void ScanNode(std::u16string_view text, std::size_t pos, Node& node, std::u16string* notes, bool classifyText)
{
    const std::size_t n = text.size();
    node.start = pos;
    node.length = 0;
    node.empty = false;
    if (pos >= n) {
        node.kind = NodeEndOfDocument;
        return;
    }
    if (text[pos] != u'<') {
        std::size_t end = FindEither(text, pos + 1, u'<', u'<');
        if (end == std::u16string_view::npos) {
            end = n;
        }
        node.kind = NodeText;
        node.length = end - pos;
        if (classifyText) {
            node.kind = NodeWhitespace;
            for (std::size_t i = pos; i < end; ++i) {
                if (!IsSpace(text[i])) {
                    node.kind = NodeText;
                    break;
                }
            }
        }
        return;
    }
    if (pos + 1 >= n) {
        Unterminated(text, pos, u"tag", node, notes);
        return;
    }
    const char16_t c1 = text[pos + 1];
    if (StartsTag(c1)) {
        // The tag ends at the first '>' outside a quoted value; quotes count only after '='.
        std::size_t p = pos + 2;
        bool afterEquals = false;
        while (p < n) {
            const char16_t c = text[p];
            if (c == u'>') {
                break;
            }
            if (c == u'=') {
                afterEquals = true;
            } else if ((c == u'"' || c == u'\'') && afterEquals) {
                const std::size_t close = text.find(c, p + 1);
                if (close == std::u16string_view::npos) {
                    p = n;
                    break;
                }
                p = close;
                afterEquals = false;
            } else if (!IsSpace(c)) {
                afterEquals = false;
            }
            ++p;
        }
        if (p >= n) {
            Unterminated(text, pos, u"start_tag", node, notes);
            return;
        }
        node.kind = NodeElement;
        node.length = p + 1 - pos;
        if (text[p - 1] == u'/' && p - 1 > pos + 1) {
            const std::size_t nameEnd = pos + 1 + NameLength(text, pos + 1);
            const char16_t before = text[p - 2];
            node.empty = nameEnd == p - 1 || IsSpace(before) || before == u'"' || before == u'\'';
        }
        return;
    }
    switch (c1) {
    case u'/': {
        const std::size_t close = FindFrom(text, u">", pos + 2);
        if (close == std::u16string_view::npos) {
            Unterminated(text, pos, u"end_tag", node, notes);
            return;
        }
        node.kind = NodeEndTag;
        node.length = close + 1 - pos;
        return;
    }
    case u'?': {
        const std::size_t close = FindFrom(text, u"?>", pos + 2);
        if (close == std::u16string_view::npos) {
            Unterminated(text, pos, u"processing_instruction", node, notes);
            return;
        }
        node.kind = NodeProcessingInstruction;
        node.length = close + 2 - pos;
        return;
    }
    case u'!':
        break;
    default:
        ErrorNode(text, pos, pos + 1, u"first_tag_syntax", node, notes);
        return;
    }
    if (pos + 2 >= n) {
        Unterminated(text, pos, u"tag", node, notes);
        return;
    }
    const char16_t c2 = text[pos + 2];
    if (c2 == u'-' || c2 == u'[') {
        if (pos + 3 >= n) {
            Unterminated(text, pos, u"tag", node, notes);
            return;
        }
        const char16_t c3 = text[pos + 3];
        if (c2 == u'-') {
            if (c3 != u'-') {
                ErrorNode(text, pos, pos + 1, u"comment_tag_syntax", node, notes);
                return;
            }
            const std::size_t close = FindFrom(text, u"-->", pos + 4);
            if (close == std::u16string_view::npos) {
                Unterminated(text, pos, u"comment", node, notes);
                return;
            }
            node.kind = NodeComment;
            node.length = close + 3 - pos;
            return;
        }
        if (c3 != u'C') {
            ErrorNode(text, pos, pos + 1, u"cdata_section_syntax", node, notes);
            return;
        }
        const std::size_t close = FindFrom(text, u"]]>", pos + 3);
        if (close == std::u16string_view::npos) {
            Unterminated(text, pos, u"cdata_section", node, notes);
            return;
        }
        node.kind = NodeCData;
        node.length = close + 3 - pos;
        return;
    }
    if (c2 != u'D') {
        ErrorNode(text, pos, pos + 1, u"exclamation_tag_syntax", node, notes);
        return;
    }
    // Document type: ends at the first '>' outside quotes that closes no nested declaration.
    std::size_t p = pos + 3;
    std::size_t depth = 0;
    char16_t quote = 0;
    for (; p < n; ++p) {
        const char16_t c = text[p];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'<' && p + 1 < n && (text[p + 1] == u'!' || text[p + 1] == u'?')) {
            if (text[p + 1] == u'!') {
                if (p + 2 >= n) {
                    break;
                }
                const char16_t d = text[p + 2];
                if (d != u'E' && d != u'A' && d != u'N' && d != u'-') {
                    ErrorNode(text, pos, p, u"doctype_tag_syntax", node, notes);
                    return;
                }
            }
            ++depth;
            ++p;
        } else if (c == u'>') {
            if (depth == 0) {
                node.kind = NodeDocType;
                node.length = p + 1 - pos;
                return;
            }
            --depth;
        }
    }
    Unterminated(text, pos, u"document_type", node, notes);
}

AttributeSpot FindAttribute(std::u16string_view text,
                            std::size_t nameStart,
                            std::size_t tagEnd,
                            std::u16string_view wanted,
                            bool ignoreCase)
{
    AttributeSpot spot;
    const std::size_t end = std::min(tagEnd, text.size());
    std::size_t p = std::min(nameStart, end);
    while (p < end && !IsNameEnd(text[p])) {
        ++p;
    }
    spot.insertAt = p;
    while (true) {
        while (p < end && IsSpace(text[p])) {
            ++p;
        }
        if (p >= end || text[p] == u'/' || text[p] == u'>' || text[p] == u'?') {
            return spot;
        }
        const std::size_t attrName = p;
        while (p < end) {
            const char16_t c = text[p];
            if (c == u'=' || IsSpace(c) || c == u'>' || c == u'/' || c == u'?') {
                break;
            }
            ++p;
        }
        const std::size_t attrNameEnd = p;
        std::size_t q = p;
        while (q < end && IsSpace(text[q])) {
            ++q;
        }
        AttributeSpot here;
        here.nameEnd = attrNameEnd;
        if (q < end && text[q] == u'=') {
            here.hasValue = true;
            p = q + 1;
            while (p < end && IsSpace(text[p])) {
                ++p;
            }
            if (p < end && (text[p] == u'"' || text[p] == u'\'')) {
                std::size_t close = text.substr(0, end).find(text[p], p + 1);
                std::size_t after = close + 1;
                if (close == std::u16string_view::npos) {
                    // Unclosed quote: the value runs to the end of the tag, before its '>'.
                    close = end > p + 1 && text[end - 1] == u'>' ? end - 1 : end;
                    after = close;
                }
                here.spanBegin = p;
                here.valueBegin = p + 1;
                here.valueEnd = close;
                here.spanEnd = after;
                p = after;
            } else {
                here.spanBegin = here.valueBegin = p;
                while (p < end && !IsSpace(text[p]) && text[p] != u'>') {
                    ++p;
                }
                here.valueEnd = here.spanEnd = p;
            }
        } else {
            here.spanBegin = here.spanEnd = here.valueBegin = here.valueEnd = attrNameEnd;
        }
        spot.insertAt = p;
        if (MatchName(text.substr(attrName, attrNameEnd - attrName), wanted, ignoreCase)) {
            here.found = true;
            here.insertAt = p;
            return here;
        }
        if (p == attrName) {
            return spot; // no progress possible (cannot happen, kept as a guard)
        }
    }
}

void AddNote(std::u16string* notes,
             std::u16string_view word,
             std::u16string_view textName,
             std::u16string_view textValue,
             std::u16string_view numberName,
             std::optional<long long> number,
             std::optional<long long> offset2,
             bool update)
{
    if (notes == nullptr) {
        return;
    }
    std::u16string note;
    note.reserve(64);
    note += u'<';
    note += word;
    if (!textName.empty() && !textValue.empty()) {
        note += u' ';
        note += textName;
        note += u"=\"";
        for (char16_t c : textValue) {
            switch (c) {
            case u'<':
                note += u"&lt;";
                break;
            case u'>':
                note += u"&gt;";
                break;
            case u'&':
                note += u"&amp;";
                break;
            case u'"':
                note += u"&quot;";
                break;
            case u'\'':
                note += u"&apos;";
                break;
            default:
                note += c;
            }
        }
        note += u'"';
    }
    auto addNumber = [&note](std::u16string_view name, long long value) {
        note += u' ';
        note += name;
        note += u"=\"";
        note += Widen(std::to_string(value));
        note += u'"';
    };
    if (!numberName.empty() && number) {
        addNumber(numberName, *number);
    }
    if (offset2) {
        addNumber(u"offset2", *offset2);
    }
    note += u"/>";
    if (update) {
        std::u16string head(1, u'<');
        head += word;
        for (std::size_t at = notes->find(head); at != std::u16string::npos; at = notes->find(head, at + 1)) {
            const std::size_t after = at + head.size();
            if (after < notes->size() && ((*notes)[after] == u' ' || (*notes)[after] == u'/')) {
                const std::size_t close = notes->find(u"/>", after);
                if (close == std::u16string::npos) {
                    break;
                }
                const std::size_t oldLength = close + 2 - at;
                if (notes->size() - oldLength + note.size() <= ResultLimit) {
                    notes->replace(at, oldLength, note);
                }
                return;
            }
        }
    }
    if (notes->size() + note.size() <= ResultLimit) {
        *notes += note;
    }
}

// clang-format off
// 253 named references in 130 buckets: '0' + length, four digits of the code point, the name.
constexpr const char* EntityBuckets[130] = {
    "60216Oslash60217Ugrave60248oslash60249ugrave",
    "60221Yacute50937Omega60253yacute50969omega58968lceil",
    "50206Icirc50916Delta50238icirc50948delta68472weierp",
    "40185sup1",
    "40178sup268970lfloor",
    "50922Kappa60164curren40179sup350954kappa58212mdash",
    "59830diams58211ndash",
    "68855otimes58969rceil",
    "50212Ocirc50338OElig50244ocirc58482trade50339oelig",
    "50197Aring50931Sigma50229aring50963sigma",
    "50180acute68971rfloor50732tilde",
    "68249lsaquo",
    "58734infin68201thinsp",
    "50161iexcl",
    "50219Ucirc50920Theta50251ucirc50952theta",
    "58254oline",
    "58260frasl68727lowast",
    "60191iquest59827clubs68250rsaquo",
    "50181micro58629crarr",
    "58222bdquo",
    "",
    "58243Prime60177plusmn58242prime",
    "40914Beta40946beta",
    "",
    "",
    "",
    "50171laquo50215times",
    "40710circ",
    "49001lang",
    "40175macr58220ldquo",
    "50163pound40182para48476real",
    "",
    "50187raquo58713notin",
    "50223szlig50978upsih48773cong",
    "58776asymp58801equiv49002rang58218sbquo",
    "50222THORN48659dArr50254thorn40402fnof48595darr58221rdquo",
    "40162cent58722minus",
    "40170ordf58707exist",
    "",
    "40921Iota48660hArr40953iota48596harr58709empty",
    "",
    "40196Auml40167sect40228auml48226bull48838sube",
    "",
    "48656lArr48592larr58853oplus",
    "30176deg40186ordm58216lsquo",
    "40203Euml40160nbsp40235euml48712isin40039apos",
    "40918Zeta40950zeta",
    "48719prod38743and48195emsp",
    "30935Chi30967chi38745cap48194ensp",
    "40207Iuml48658rArr40239iuml48594rarr48706part48869perp",
    "38736ang48836nsub58217rsquo",
    "",
    "48657uArr48593uarr48901sdot",
    "40169copy48364euro",
    "30919Eta30951eta",
    "40214Ouml40246ouml48839supe",
    "",
    "",
    "30174reg30038amp",
    "48733prop",
    "",
    "30208ETH40220Uuml30934Phi30240eth40252uuml30966phi",
    "",
    "",
    "",
    "40376Yuml40255yuml",
    "",
    "40034quot48204zwnj",
    "38746cup68756there4",
    "30929Rho30961rho38764sim",
    "30932Tau30964tau38834sub",
    "38747int38206lrm38207rlm",
    "30936Psi30165yen30968psi",
    "",
    "30168uml28805ge",
    "30982piv",
    "",
    "30172not",
    "",
    "28804le",
    "30173shy",
    "38721sum28800ne39674loz",
    "",
    "",
    "38835sup",
    "28715ni",
    "",
    "20928Pi20960pi38205zwj",
    "",
    "60923Lambda60955lambda20062gt",
    "",
    "",
    "60199Ccedil60231ccedil",
    "",
    "20060lt",
    "20926Xi20958xi28744or",
    "20924Mu20956mu",
    "20925Nu20957nu",
    "68225Dagger68224dagger",
    "80977thetasym",
    "",
    "",
    "",
    "78501alefsym",
    "",
    "",
    "",
    "60193Aacute60195Atilde60225aacute60227atilde",
    "",
    "70927Omicron60247divide70959omicron",
    "60192Agrave60224agrave",
    "60201Eacute60233eacute60962sigmaf",
    "70917Epsilon70949epsilon",
    "",
    "60200Egrave60232egrave",
    "60205Iacute60237iacute",
    "",
    "",
    "60204Igrave60236igrave68230hellip",
    "60166brvbar",
    "60209Ntilde60241ntilde68704forall58711nabla69824spades",
    "60211Oacute60213Otilde60183middot60189frac1260243oacute60245otilde",
    "",
    "50184cedil60188frac14",
    "50194Acirc50198AElig60210Ograve50226acirc50230aelig60242ograve",
    "50915Gamma60190frac3450947gamma58465image58730radic",
    "60352Scaron60353scaron",
    "60218Uacute60250uacute69829hearts",
    "50202Ecirc50913Alpha70933Upsilon50234ecirc50945alpha70965upsilon",
    "68240permil",
};
// clang-format on

char32_t LookupEntity(std::u16string_view name)
{
    if (name.empty() || name.size() > 8) {
        return 0;
    }
    unsigned sum = 0;
    for (char16_t c : name) {
        if (c >= 128) {
            return 0;
        }
        sum += LowerAscii(c);
    }
    const char* bucket = EntityBuckets[sum % 130];
    char32_t folded = 0;
    for (const char* e = bucket; *e != '\0';) {
        const std::size_t length = static_cast<std::size_t>(e[0] - '0');
        const char32_t code =
            static_cast<char32_t>((e[1] - '0') * 1000 + (e[2] - '0') * 100 + (e[3] - '0') * 10 + (e[4] - '0'));
        const char* entry = e + 5;
        e = entry + length;
        if (length != name.size()) {
            continue;
        }
        bool same = true;
        bool sameFolded = true;
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<char16_t>(entry[i]);
            same = same && c == name[i];
            sameFolded = sameFolded && LowerAscii(c) == LowerAscii(name[i]);
        }
        if (same) {
            return code;
        }
        if (sameFolded && folded == 0) {
            folded = code;
        }
    }
    return folded;
}

} // namespace markup::detail
