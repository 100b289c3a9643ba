#include "markup/TextEncoding.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include "markup/MarkupDoc.h"
#include "markup/MarkupInternal.h"
#include "platform/FileIo.h"
#include "platform/Utf.h"

namespace markup {

using namespace detail;

namespace {

// clang-format off
// 365 encoding names of 110 code pages in 155 buckets: two digits of length, five of the code page, the name.
constexpr const char* AliasBuckets[155] = {
    "0800949ksc_5601",
    "0920003x-cp200031920932cseucpkdfmtjapanese",
    "0920004x-cp200040228591l11250221_iso-2022-jp",
    "0920005x-cp200050228592l2",
    "0600850ibm8501000858ccsid008580228593l3",
    "0600437ibm4370600860ibm8600701201ucs-2be0228594l4",
    "0600852ibm8520600861ibm8610501250ms-ee0228599l50751932cp51932",
    "0700858cp008580600862ibm8621010021x-mac-thai0620127ibm3670920261x-cp20261",
    "0600737ibm7370600863ibm8630500869cp-gr1057003x-iscii-be",
    "0600855ibm8550600864ibm8640628591ibm8190750221ms50221",
    "0600775ibm7750600865ibm8650300949uhc1028591iso-ir-1000228605l91057002x-iscii-de",
    "0600857ibm8570500861cp-is0600866ibm8661028592iso-ir-1011028594iso-ir-110",
    "0950227x-cp50227",
    "0320866koi1628598csisolatinhebrew1057008x-iscii-ka",
    "0600869ibm8691000950big5-hkscs1220106x-ia5-german",
    "0701200ucs-2le0712001utf32be0920269x-cp202691057009x-iscii-ma",
    "0500437cspc80800708asmo-7080612000utf-320920936x-cp209361765000unicode-1-1-utf-7",
    "1200775ebcdic-cp-be0701201utf16be0628598hebrew0551932x-euc1765001unicode-1-1-utf-81765001unicode-2-0-utf-8",
    "0601200utf-161028595iso-ir-1441028597iso-ir-1260728605latin-91057011x-iscii-pa",
    "1028593iso-ir-1091028596iso-ir-1270751932ms51932",
    "0600949korean0801253ms-greek0920949x-cp209491128605iso_8859-151050225iso2022-kr",
    "1200775ebcdic-cp-ch1028598iso-ir-1381450221iso-2022-jp-ms1057006x-iscii-as",
    "1028599iso-ir-1481057004x-iscii-ta",
    "1000949iso-ir-1490820127us-ascii",
    "",
    "1900850cspc850multilingual1000936gb_2312-800712000utf32le",
    "1300949csksc560119871057005x-iscii-te1965000x-unicode-2-0-utf-7",
    "0701200utf16le0928591iso8859-11965001x-unicode-2-0-utf-8",
    "1000932x-ms-cp9321420002x_chinese-eten0520866koi8r0928592iso8859-2",
    "1320000x-chinese-cns0928593iso8859-31138598iso8859-8-i1057010x-iscii-gu",
    "0928594iso8859-4",
    "0928595iso8859-51150221csiso2022jp",
    "0900154csptcp1540928596iso8859-6",
    "1400154cyrillic-asian0900932shift_jis0928597iso8859-7",
    "0928598iso8859-81150225csiso2022kr1057007x-iscii-or",
    "0721866koi8-ru0928599iso8859-9",
    "0910000macintosh",
    "",
    "",
    "",
    "0800936gb2312801210004x-mac-arabic1520108x-ia5-norwegian0628598visual",
    "",
    "0829001x-europa",
    "",
    "1510079x-mac-icelandic",
    "0800932sjis-win1128591csisolatin1",
    "1128592csisolatin2",
    "1400949ks_c_5601-19871128593csisolatin3",
    "1128594csisolatin4",
    "1400949ks_c_5601-19890400950big51128595csisolatin5",
    "0500775cp5001565000csunicode11utf7",
    "0501361johab",
    "1100437codepage4371100932windows-932",
    "1800862cspc862latinhebrew1310081x-mac-turkish",
    "",
    "0500154cp1540800775csibm5000701256ms-arab",
    "1100936windows-9360520127ascii",
    "1100874windows-8741528597csisolatingreek",
    "0500850cp850",
    "0500437cp4370700720dos-7200500860cp8600500932cp9320500950cp9501650222_iso-2022-jp$sio",
    "0500852cp8520500861cp8610700949ksc56010812001utf-32be",
    "0500853cp8530500862cp8620520127cp3670528597greek",
    "0500737cp7370500863cp8630801201utf-16be1150220iso-2022-jp",
    "0500855cp8550500864cp8640500936cp9364520932extended_unix_code_packed_format_for_japanese0528591cp819",
    "0500775cp7750800860csibm8600500865cp8650500874cp874",
    "0500857cp8570800861csibm8610500866cp8661101201unicodefffe1150225iso-2022-kr",
    "0500858cp8580700862dos-8620701255ms-hebr",
    "0800863csibm8630500949cp9491210005x-mac-hebrew",
    "1600437cspc8codepage4370800855csibm8550800864csibm8640500869cp8690700874tis-620",
    "0800865csibm8650700874dos-8740800932ms_kanji0800950x-x-big50420866koi8",
    "0800857csibm8570800866csibm8661210003x-mac-korean0812000utf-32le",
    "",
    "0500154pt1540500932ms9320801200utf-16le1028591iso-8859-1",
    "0800869csibm8690620866koi8-r1028592iso-8859-2",
    "1500936csiso58gb2312800820127iso-ir-61028593iso-8859-30828597elot_9281238598iso-8859-8-i",
    "1028594iso-8859-4",
    "0800852cspcp8520500936ms9360701252ms-ansi0621866koi8-u1028595iso-8859-5",
    "2400858pc-multilingual-850+euro0220127us1028596iso-8859-6",
    "1028597iso-8859-71028603iso8859-13",
    "1320000x-chinese_cns1028598iso-8859-8",
    "1828595csisolatincyrillic1028599iso-8859-91028605iso8859-15",
    "0465001utf8",
    "1510017x-mac-ukrainian",
    "",
    "0828595cyrillic",
    "0900936gb2312-80",
    "",
    "0720866cskoi8r1528591iso_8859-1:1987",
    "1528592iso_8859-2:1987",
    "1354936iso-4873:1986",
    "0700932sjis-ms1528593iso_8859-3:1988",
    "0600936gb23120701251ms-cyrl1528594iso_8859-4:1988",
    "1528595iso_8859-5:19881528596iso_8859-6:1987",
    "1528597iso_8859-7:1987",
    "1300932shifft_jis-ms1201250windows-1250",
    "0900949ks_c_56011201251windows-12511110000csmacintosh0810029x-mac-ce1528598iso_8859-8:1988",
    "0601200cp12001201252windows-1252",
    "1400949ks_c_5601_19870601201cp12011201253windows-12531528599iso_8859-9:19891052936hz-gb-2312",
    "1201254windows-1254",
    "1000936csgb2312801201255windows-1255",
    "1100932windows-31j1201256windows-1256",
    "0601133cp11330601250cp12501201257windows-1257",
    "0601125cp11250601251cp12511201258windows-1258",
    "0601252cp12520701254ms-turk",
    "0601253cp12530601361cp1361",
    "0800949ks-c56010601254cp1254",
    "0601255cp12550651936euc-cn",
    "0601256cp1256",
    "0800858ibm008580600950csbig50601257cp1257",
    "0601258cp1258",
    "0520105x-ia5",
    "0801250x-cp12501110006x-mac-greek0738598logical",
    "0801251x-cp1251",
    "",
    "1200932cswindows31j1410001x-mac-japanese",
    "0700936chinese0720127csascii0620932euc-jp",
    "0501200ucs-20851936x-euc-cn",
    "0628597greek8",
    "0651949euc-kr",
    "",
    "0628591latin1",
    "1100874iso-8859-110628592latin2",
    "1420127ansi_x3.4-19681420127ansi_x3.4-19861028591iso_8859-10628593latin3",
    "0701200unicode1028592iso_8859-20628594latin41128603iso-8859-13",
    "1410082x-mac-croatian1028593iso_8859-30628599latin5",
    "1028594iso_8859-41128605iso-8859-150851932x-euc-jp0565000utf-7",
    "1300775cspc775baltic0512000utf321028595iso_8859-50565001utf-8",
    "0601252x-ansi1710002x-mac-chinesetrad1028596iso_8859-6",
    "0700154ptcp1540501200utf161410010x-mac-romanian1028597iso_8859-70628605latin9",
    "0900936iso-ir-581028598iso_8859-8",
    "1028599iso_8859-9",
    "0400932sjis1350221iso2022-jp-ms",
    "0751949cseuckr",
    "1420002x-chinese-eten",
    "1410007x-mac-cyrillic",
    "1000932shifft_jis",
    "0828596ecma-114",
    "",
    "0900932shift-jis",
    "0701256cp1256 1320107x-ia5-swedish",
    "0828597ecma-118",
    "0600932x-sjis1710008x-mac-chinesesimp1628596csisolatinarabic",
    "",
    "0754936gb18030",
    "0712000cp120001350221windows-50221",
    "0900932sjis-open0500936cn-gb0712001cp120010628596arabic",
    "",
    "",
    "0700950cn-big51001133ibm-cp11330920127iso646-us",
    "",
    "0800936csgb23120900949ks-c-56010310000mac",
    "1001257winbaltrim1020127iso-ir-6us0750221cp50221",
    "1000932csshiftjis",
    "0300936gbk0765001cp65001",
    "0920001x-cp200011620127iso_646.irv:19911351932windows-51932",
};
// clang-format on

constexpr bool LittleEndianHost = std::endian::native == std::endian::little;
constexpr const char* HostUtf16 = LittleEndianHost ? "UTF-16LE" : "UTF-16BE";
constexpr const char* HostUtf32 = LittleEndianHost ? "UTF-32LE" : "UTF-32BE";
constexpr char32_t Replacement = 0xFFFD;

bool IsUtf16(int codePage)
{
    return codePage == 1200 || codePage == 1201;
}

bool IsUtf32(int codePage)
{
    return codePage == 12000 || codePage == 12001 || codePage == Utf32CodePage;
}

// The platform gives no loss report when converting into these code pages.
bool ReportsNoLoss(int codePage)
{
    return (codePage >= 50220 && codePage <= 50222) || codePage == 50225 || codePage == 50227 || codePage == 50229
           || codePage == 52936 || codePage == 54936 || (codePage >= 57002 && codePage <= 57011) || codePage == 65000
           || codePage == 65001;
}

std::size_t UnitSize(int codePage)
{
    return IsUtf16(codePage) ? 2 : IsUtf32(codePage) ? 4 : 1;
}

// One UTF-8 sequence at data[pos]; a bad sequence consumes its lead byte and gives U+FFFD.
char32_t DecodeUtf8(const unsigned char* data, std::size_t size, std::size_t& pos, bool& ok)
{
    return platform::DecodeUtf8(std::string_view(reinterpret_cast<const char*>(data), size), pos, ok);
}

// UTF-8 to UTF-16 (target null: count only). Bad sequences become U+FFFD.
std::size_t Utf8ToUtf16(const unsigned char* data, std::size_t size, char16_t* out, std::size_t room)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < size) {
        if (data[pos] < 0x80) {
            // Runs of ASCII go through without decoding.
            const std::size_t start = pos;
            while (pos < size && data[pos] < 0x80) {
                ++pos;
            }
            if (out != nullptr) {
                const std::size_t n = std::min(pos - start, room - units);
                for (std::size_t i = 0; i < n; ++i) {
                    out[units + i] = data[start + i];
                }
                if (n < pos - start) {
                    return units + n;
                }
            }
            units += pos - start;
            continue;
        }
        bool ok = true;
        const char32_t cp = DecodeUtf8(data, size, pos, ok);
        const std::size_t need = cp >= 0x10000 ? 2 : 1;
        if (out != nullptr) {
            if (room - units < need) {
                return units;
            }
            if (need == 2) {
                out[units] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out[units + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out[units] = static_cast<char16_t>(cp);
            }
        }
        units += need;
    }
    return units;
}

// Decodes a block of UTF-8 (storing when out is not null) with the results of DecodeUtf8, taking
// ASCII and the three-byte sequences of CJK text on a short path. bad is set when a sequence is not
// valid UTF-8.
template <bool Store>
std::size_t DecodeUtf8Block(const unsigned char* data, std::size_t size, char16_t* out, bool& bad)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < size) {
        const unsigned char c = data[pos];
        if (c < 0x80) {
#if defined(__SSE2__)
            // A run of ASCII: sixteen bytes widened at a time.
            while (size - pos >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
                if (_mm_movemask_epi8(v) != 0) {
                    break;
                }
                if constexpr (Store) {
                    const __m128i zero = _mm_setzero_si128();
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + units), _mm_unpacklo_epi8(v, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + units + 8), _mm_unpackhi_epi8(v, zero));
                }
                units += 16;
                pos += 16;
            }
            if (pos >= size || data[pos] >= 0x80) {
                continue;
            }
#endif
            if constexpr (Store) {
                out[units] = data[pos];
            }
            ++units;
            ++pos;
            continue;
        }
        if ((c & 0xF0) == 0xE0 && size - pos >= 3) {
            const unsigned char c1 = data[pos + 1];
            const unsigned char c2 = data[pos + 2];
            if ((c1 & 0xC0) == 0x80 && (c2 & 0xC0) == 0x80) {
                const char32_t cp = ((c & 0x0FU) << 12) | ((c1 & 0x3FU) << 6) | (c2 & 0x3FU);
                if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
                    if constexpr (Store) {
                        out[units] = static_cast<char16_t>(cp);
                    }
                    ++units;
                    pos += 3;
                    continue;
                }
            }
        }
        bool ok = true;
        const char32_t cp = DecodeUtf8(data, size, pos, ok);
        bad = bad || !ok;
        if (cp >= 0x10000) {
            if constexpr (Store) {
                out[units] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out[units + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            units += 2;
        } else {
            if constexpr (Store) {
                out[units] = static_cast<char16_t>(cp);
            }
            ++units;
        }
    }
    return units;
}

// Adds to units the UTF-16 units that valid UTF-8 bytes give (every byte that does not continue a
// sequence, once more for a four-byte lead; zero bytes count nothing) and returns the zero bytes.
std::size_t CountBytes(const unsigned char* data, std::size_t size, std::size_t& units)
{
    std::size_t zeros = 0;
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128i continuation = _mm_set1_epi8(-64); // bytes 0x80..0xBF are below it as signed bytes
    const __m128i fourLead = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= size; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        const auto follows = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, continuation)));
        const auto leads = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, fourLead), v)));
        const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        const auto zeroCount = static_cast<std::size_t>(__builtin_popcount(nul));
        units += 16 - static_cast<std::size_t>(__builtin_popcount(follows))
                 + static_cast<std::size_t>(__builtin_popcount(leads)) - zeroCount;
        zeros += zeroCount;
    }
#endif
    for (; k < size; ++k) {
        const unsigned char c = data[k];
        zeros += c == 0;
        units += static_cast<std::size_t>((c & 0xC0) != 0x80) + static_cast<std::size_t>(c >= 0xF0) - (c == 0);
    }
    return zeros;
}

// Appends the UTF-16 form of UTF-8 bytes to text, a slice at a time (cut where a sequence begins),
// so that the text's room is written once and never cleared first. bad is set when the bytes are
// not valid UTF-8.
void AppendUtf8(std::u16string& text, const unsigned char* data, std::size_t size, bool& bad)
{
    constexpr std::size_t Slice = 16384;
    char16_t buffer[Slice];
    std::size_t pos = 0;
    while (pos < size) {
        std::size_t end = std::min(size, pos + Slice);
        if (end < size) {
            for (std::size_t back = 0; back <= 3 && end - back > pos; ++back) {
                if ((data[end - back] & 0xC0) != 0x80) {
                    end -= back;
                    break;
                }
            }
        }
        text.append(buffer, DecodeUtf8Block<true>(data + pos, end - pos, buffer, bad));
        pos = end;
    }
}

// UTF-16 to UTF-8 (target null: count only). Unpaired surrogates become U+FFFD.
std::size_t Utf16ToUtf8(const char16_t* data, std::size_t size, unsigned char* out, std::size_t room)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < size; ++i) {
        char32_t cp = data[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < size && data[i + 1] >= 0xDC00 && data[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (data[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = Replacement;
        }
        unsigned char buf[4];
        std::size_t n = 0;
        if (cp < 0x80) {
            buf[n++] = static_cast<unsigned char>(cp);
        } else if (cp < 0x800) {
            buf[n++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            buf[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            buf[n++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            buf[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            buf[n++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            buf[n++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            buf[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        }
        if (out != nullptr) {
            if (room - bytes < n) {
                return bytes;
            }
            std::memcpy(out + bytes, buf, n);
        }
        bytes += n;
    }
    return bytes;
}

// Output sink that counts when it has no buffer.
struct Sink
{
    unsigned char* out = nullptr;
    std::size_t room = 0; // bytes
    std::size_t used = 0;
    bool full = false;

    bool Put(const void* bytes, std::size_t n)
    {
        if (out != nullptr) {
            if (room - used < n) {
                full = true;
                return false;
            }
            std::memcpy(out + used, bytes, n);
        }
        used += n;
        return true;
    }
};

// Converts bytes with iconv; invalid or unmappable input is replaced (replacement bytes given) and
// counted in 'lost'. A missing converter keeps ASCII and replaces everything else.
void RunIconv(const char* to,
              const char* from,
              std::size_t inUnit,
              const char* input,
              std::size_t inBytes,
              const void* replacement,
              std::size_t replacementBytes,
              bool toWide,
              Sink& sink,
              bool& lost)
{
    const auto failed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr): iconv's failure value
    iconv_t cd = (to != nullptr && from != nullptr) ? iconv_open(to, from) : failed;
    if (cd == failed) {
        // No converter for this code page: ASCII stays, everything else is replaced.
        for (std::size_t i = 0; i + inUnit <= inBytes && !sink.full; i += inUnit) {
            std::uint32_t unit = static_cast<unsigned char>(input[i]);
            if (inUnit == 2) {
                char16_t wide = 0;
                std::memcpy(&wide, input + i, 2);
                unit = wide;
            }
            if (unit >= 0x80) {
                lost = true;
                sink.Put(replacement, replacementBytes);
            } else if (toWide) {
                const auto c = static_cast<char16_t>(unit);
                sink.Put(&c, 2);
            } else {
                const auto c = static_cast<char>(unit);
                sink.Put(&c, 1);
            }
        }
        return;
    }
    char* in = const_cast<char*>(input);
    std::size_t inLeft = inBytes - inBytes % inUnit;
    char scratch[4096];
    bool flushed = false;
    while (!sink.full) {
        char* outStart = sink.out != nullptr ? reinterpret_cast<char*>(sink.out + sink.used) : scratch;
        char* out = outStart;
        std::size_t outLeft = sink.out != nullptr ? sink.room - sink.used : sizeof scratch;
        std::size_t r = 0;
        if (inLeft > 0) {
            r = iconv(cd, &in, &inLeft, &out, &outLeft);
        } else {
            r = iconv(cd, nullptr, nullptr, &out, &outLeft);
            flushed = true;
        }
        const int error = errno;
        sink.used += static_cast<std::size_t>(out - outStart);
        if (r == static_cast<std::size_t>(-1)) {
            if (error == E2BIG) {
                if (sink.out != nullptr) {
                    sink.full = true;
                }
                continue;
            }
            if (error == EILSEQ || error == EINVAL) {
                lost = true;
                if (!sink.Put(replacement, replacementBytes)) {
                    break;
                }
                // Skip one unit (a surrogate pair as a whole when UTF-16 is the source).
                std::size_t skip = inUnit;
                if (inUnit == 2 && inLeft >= 4) {
                    char16_t first = 0;
                    std::memcpy(&first, in, 2);
                    if (first >= 0xD800 && first <= 0xDBFF) {
                        char16_t second = 0;
                        std::memcpy(&second, in + 2, 2);
                        if (second >= 0xDC00 && second <= 0xDFFF) {
                            skip = 4;
                        }
                    }
                }
                skip = std::min(skip, inLeft);
                in += skip;
                inLeft -= skip;
                continue;
            }
            break;
        }
        if (flushed) {
            break;
        }
    }
    iconv_close(cd);
}

std::u16string ToLowerAscii(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return out;
}

std::u16string SystemText(int error)
{
    char buffer[256] = {};
    // The GNU form returns the text (possibly a static one); it is safe on any thread.
    std::string text = ::strerror_r(error, buffer, sizeof buffer);
    const std::size_t cut = text.find_first_of("\r\n");
    if (cut != std::string::npos) {
        text.resize(cut);
    }
    if (text.size() > 99) {
        text.resize(99);
    }
    return platform::Utf8ToUtf16(text);
}

} // namespace

const char* IconvNameOf(int codePage)
{
    switch (codePage) {
    case 0:
    case UnknownCodePage:
    case 936:
        return "CP936"; // the system code page of the Windows version: old files are GBK
    case 154:
        return "PT154";
    case 437:
        return "CP437";
    case 708:
        return "ASMO-708";
    case 737:
        return "CP737";
    case 775:
        return "CP775";
    case 850:
        return "CP850";
    case 852:
        return "CP852";
    case 855:
        return "CP855";
    case 857:
        return "CP857";
    case 858:
        return "CP858";
    case 860:
        return "CP860";
    case 861:
        return "CP861";
    case 862:
        return "CP862";
    case 863:
        return "CP863";
    case 864:
        return "CP864";
    case 865:
        return "CP865";
    case 866:
        return "CP866";
    case 869:
        return "CP869";
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1125:
        return "CP1125";
    case 1133:
        return "CP1133";
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1252:
        return "CP1252";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 1361:
        return "JOHAB";
    case 10000:
        return "MACINTOSH";
    case 10007:
        return "MAC-CYRILLIC";
    case 10017:
        return "MACUKRAINIAN";
    case 10029:
        return "MAC-CENTRALEUROPE";
    case 10079:
        return "MAC-IS";
    case 12000:
        return "UTF-32LE";
    case 12001:
        return "UTF-32BE";
    case 20000:
        return "EUC-TW";
    case 20127:
        return "US-ASCII";
    case 20261:
        return "T.61-8BIT";
    case 20269:
        return "ISO6937";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 20932:
        return "EUC-JP";
    case 20936:
        return "EUC-CN";
    case 20949:
        return "EUC-KR";
    case 28591:
        return "ISO-8859-1";
    case 28592:
        return "ISO-8859-2";
    case 28593:
        return "ISO-8859-3";
    case 28594:
        return "ISO-8859-4";
    case 28595:
        return "ISO-8859-5";
    case 28596:
        return "ISO-8859-6";
    case 28597:
        return "ISO-8859-7";
    case 28598:
    case 38598:
        return "ISO-8859-8";
    case 28599:
        return "ISO-8859-9";
    case 28603:
        return "ISO-8859-13";
    case 28605:
        return "ISO-8859-15";
    case 50220:
    case 50221:
    case 50222:
        return "ISO-2022-JP";
    case 50225:
        return "ISO-2022-KR";
    case 50227:
        return "ISO-2022-CN";
    case 51932:
        return "EUC-JP-MS";
    case 51936:
        return "EUC-CN";
    case 51949:
        return "EUC-KR";
    case 54936:
        return "GB18030";
    case 65000:
        return "UTF-7";
    case 65001:
        return "UTF-8";
    case Utf32CodePage:
        return HostUtf32;
    default:
        return ""; // no converter here: ASCII passes, everything else is replaced
    }
}

int CodePageOf(std::u16string_view encoding)
{
    if (encoding.empty()) {
        return 0;
    }
    if (encoding.size() >= 6 && encoding.substr(0, 6) == u"UTF-32") {
        return Utf32CodePage;
    }
    if (encoding.size() >= 100) {
        return UnknownCodePage;
    }
    const std::u16string name = ToLowerAscii(encoding);
    unsigned sum = 0;
    for (char16_t c : name) {
        sum += c;
    }
    for (const char* e = AliasBuckets[sum % 155]; *e != '\0';) {
        const std::size_t length = static_cast<std::size_t>(e[0] - '0') * 10 + static_cast<std::size_t>(e[1] - '0');
        int codePage = 0;
        for (int i = 2; i < 7; ++i) {
            codePage = codePage * 10 + (e[i] - '0');
        }
        const char* entry = e + 7;
        e = entry + length;
        if (length == name.size() && std::equal(name.begin(), name.end(), entry, [](char16_t a, char b) {
                return a == static_cast<unsigned char>(b);
            })) {
            return codePage;
        }
    }
    return UnknownCodePage;
}

TextConverter::TextConverter(std::u16string_view fromEncoding, std::u16string_view toEncoding)
    : m_from(std::max(CodePageOf(fromEncoding), 0))
    , m_to(std::max(CodePageOf(toEncoding), 0))
{}

std::size_t TextConverter::Count(const void* source, std::size_t sourceUnits)
{
    return Run(source, sourceUnits, nullptr, 0);
}

std::size_t TextConverter::Convert(const void* source, std::size_t sourceUnits, void* target, std::size_t targetUnits)
{
    if (target == nullptr) {
        return 0;
    }
    return Run(source, sourceUnits, target, targetUnits);
}

std::size_t TextConverter::Run(const void* source, std::size_t sourceUnits, void* target, std::size_t targetUnits)
{
    m_lost = false;
    const auto* bytes = static_cast<const unsigned char*>(source);
    const std::size_t toUnit = UnitSize(m_to);
    const std::size_t fromBytes = sourceUnits * UnitSize(m_from);
    Sink sink;
    sink.out = static_cast<unsigned char*>(target);
    sink.room = targetUnits * toUnit;
    bool decodeErrors = false;

    if (m_from == m_to) {
        sink.Put(bytes, std::min(fromBytes, target != nullptr ? sink.room : fromBytes));
        return sink.used / toUnit;
    }
    if (m_from == 65001 && m_to == 1200) {
        if (target == nullptr) {
            bool bad = false;
            return DecodeUtf8Block<false>(bytes, fromBytes, nullptr, bad);
        }
        return Utf8ToUtf16(bytes, fromBytes, static_cast<char16_t*>(target), targetUnits);
    }
    if (m_from == 1200 && m_to == 65001) {
        return Utf16ToUtf8(static_cast<const char16_t*>(source),
                           sourceUnits,
                           static_cast<unsigned char*>(target),
                           targetUnits);
    }
    if (m_to == Utf32CodePage && (m_from == 65001 || m_from == 1200)) {
        // UTF-32 is made here: an invalid sequence or an unpaired surrogate gives '?'.
        auto* out = static_cast<char32_t*>(target);
        std::size_t units = 0;
        auto put = [&](char32_t c) {
            if (out != nullptr) {
                if (units >= targetUnits) {
                    return false;
                }
                out[units] = c;
            }
            ++units;
            return true;
        };
        if (m_from == 65001) {
            for (std::size_t pos = 0; pos < fromBytes;) {
                bool ok = true;
                const char32_t cp = bytes[pos] < 0x80 ? bytes[pos++] : DecodeUtf8(bytes, fromBytes, pos, ok);
                if (!put(ok ? cp : U'?')) {
                    break;
                }
            }
        } else {
            const auto* units16 = static_cast<const char16_t*>(source);
            for (std::size_t i = 0; i < sourceUnits; ++i) {
                char32_t cp = units16[i];
                if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < sourceUnits && units16[i + 1] >= 0xDC00
                    && units16[i + 1] <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (units16[i + 1] - 0xDC00);
                    ++i;
                } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                    cp = U'?';
                }
                if (!put(cp)) {
                    break;
                }
            }
        }
        return units;
    }
    if (m_to == 1200) {
        const char16_t replacement = static_cast<char16_t>(Replacement);
        const char* from = m_from == 1201 ? "UTF-16BE" : IconvNameOf(m_from);
        RunIconv(HostUtf16,
                 *from != '\0' ? from : nullptr,
                 UnitSize(m_from),
                 reinterpret_cast<const char*>(bytes),
                 fromBytes,
                 &replacement,
                 2,
                 true,
                 sink,
                 decodeErrors);
        return sink.used / 2;
    }
    if (m_from == 1200) {
        const char replacement = '?';
        const char* to = m_to == 1201 ? "UTF-16BE" : IconvNameOf(m_to);
        bool lost = false;
        RunIconv(*to != '\0' ? to : nullptr,
                 HostUtf16,
                 2,
                 reinterpret_cast<const char*>(bytes),
                 fromBytes,
                 &replacement,
                 1,
                 false,
                 sink,
                 lost);
        m_lost = lost && !ReportsNoLoss(m_to);
        return sink.used / toUnit;
    }
    // Between two code pages: through UTF-16.
    TextConverter in(u"", u"UTF-16");
    in.m_from = m_from;
    std::u16string middle(in.Count(source, sourceUnits), u'\0');
    middle.resize(in.Convert(source, sourceUnits, middle.data(), middle.size()));
    TextConverter out(u"UTF-16", u"");
    out.m_to = m_to;
    const std::size_t units = target == nullptr ? out.Count(middle.data(), middle.size())
                                                : out.Convert(middle.data(), middle.size(), target, targetUnits);
    m_lost = out.Lost();
    return units;
}

std::u16string GetDeclaredEncoding(std::u16string_view text)
{
    Node node;
    bool inHtml = false;
    for (std::size_t pos = 0;; pos = node.start + node.length) {
        ScanNode(text, pos, node, nullptr, false);
        if (node.kind == NodeEndOfDocument) {
            return {};
        }
        const std::size_t tagEnd = node.start + node.length;
        if (node.kind == NodeProcessingInstruction && node.start == 0) {
            const std::size_t nameStart = TagNameStart(text, 0);
            const std::u16string_view target = text.substr(nameStart, NameLength(text, nameStart));
            if (MatchName(target, u"xml", true)) {
                const AttributeSpot spot = FindAttribute(text, nameStart, tagEnd, u"encoding", true);
                return spot.found
                           ? MarkupDoc::UnescapeText(text.substr(spot.valueBegin, spot.valueEnd - spot.valueBegin))
                           : std::u16string();
            }
        } else if (node.kind == NodeElement) {
            const std::size_t nameStart = TagNameStart(text, node.start);
            const std::u16string_view name = text.substr(nameStart, NameLength(text, nameStart));
            if (!inHtml) {
                if (!MatchName(name, u"html", true)) {
                    return {};
                }
                inHtml = true;
            } else if (MatchName(name, u"meta", true)) {
                const AttributeSpot equiv = FindAttribute(text, nameStart, tagEnd, u"http-equiv", true);
                const AttributeSpot content = FindAttribute(text, nameStart, tagEnd, u"content", true);
                // Attribute values are read unescaped, as everywhere else.
                if (equiv.found && content.found
                    && ToLowerAscii(
                           MarkupDoc::UnescapeText(text.substr(equiv.valueBegin, equiv.valueEnd - equiv.valueBegin)))
                           == u"content-type") {
                    const std::u16string original =
                        MarkupDoc::UnescapeText(text.substr(content.valueBegin, content.valueEnd - content.valueBegin));
                    const std::u16string value = ToLowerAscii(original);
                    for (std::size_t at = value.find(u"charset"); at != std::u16string::npos;
                         at = value.find(u"charset", at + 1)) {
                        std::size_t p = at + 7;
                        while (p < value.size() && IsSpace(value[p])) {
                            ++p;
                        }
                        if (p >= value.size() || value[p] != u'=') {
                            continue;
                        }
                        ++p;
                        while (p < value.size() && IsSpace(value[p])) {
                            ++p;
                        }
                        std::size_t end = p;
                        while (end < value.size() && !IsSpace(value[end])
                               && std::u16string_view(u"<>=\\/?!\"';").find(value[end]) == std::u16string_view::npos) {
                            ++end;
                        }
                        return original.substr(p, end - p);
                    }
                }
            }
        } else if (node.kind == NodeEndTag && inHtml) {
            const std::size_t nameStart = TagNameStart(text, node.start);
            if (MatchName(text.substr(nameStart, NameLength(text.substr(0, tagEnd), nameStart)), u"head", true)) {
                return {};
            }
        }
    }
}

namespace {

constexpr std::uint32_t MarkFlags = MarkUtf8 | MarkUtf16Le | MarkUtf16Be;
constexpr std::uint32_t OperationFlags = ReadingFile | WritingFile | AppendingFile;

struct ByteOrderMark
{
    std::string_view bytes;
    const char16_t* encoding;
    std::uint32_t flag;
    std::size_t unit;
};

constexpr ByteOrderMark Marks[] = {
    {"\xEF\xBB\xBF", u"UTF-8", MarkUtf8, 1},
    {"\xFF\xFE", u"UTF-16LE", MarkUtf16Le, 2},
    {"\xFE\xFF", u"UTF-16BE", MarkUtf16Be, 2},
};

void FileError(std::u16string& notes, int error)
{
    AddNote(&notes, u"file_error", u"msg", SystemText(error), u"n", error);
}

// The bytes are taken for UTF-8 only when every sequence is complete and valid. (A looser test that
// only checks that sequences are complete lets most GBK text pass, which then decodes to U+FFFD.)
bool LooksLikeUtf8(std::string_view data)
{
    return platform::IsValidUtf8(data);
}

// A new file beside the target, named so that nothing else picks it up.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path& temporary, int& error)
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    for (int attempt = 0; attempt < 32; ++attempt) {
        std::string name(1, '.');
        name += target.filename().string();
        name += ".tmp";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter++);
        name += '-';
        name += std::to_string(random() % 1000000);
        temporary = folder / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            error = errno;
            return -1;
        }
    }
    error = EEXIST;
    return -1;
}

void SyncFolder(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

namespace {

// What the first bytes of a file say: its mark, or the encoding its declaration names, or (angle)
// nothing but a first "<", which says UTF-8 when the bytes are valid UTF-8.
struct FileStart
{
    const ByteOrderMark* mark = nullptr;
    std::u16string encoding;
    std::size_t unit = 1;
    std::size_t offset = 0;
    bool angle = false;
};

FileStart Sniff(std::string_view head)
{
    FileStart start;
    for (const ByteOrderMark& mark : Marks) {
        if (head.substr(0, mark.bytes.size()) == mark.bytes) {
            start.mark = &mark;
            start.encoding = mark.encoding;
            start.unit = mark.unit;
            start.offset = mark.bytes.size();
            return start;
        }
    }
    if (!head.empty()) {
        start.encoding = GetDeclaredEncoding(platform::Utf8ToUtf16(head.substr(0, 1024)));
        if (start.encoding.empty() && head[0] == '<') {
            start.encoding = u"UTF-8";
            start.angle = true;
        }
    }
    return start;
}

// Reads 'length' UTF-8 bytes from 'offset' twice through one small buffer: first counting the
// units (and zero bytes), then decoding into text, which is reserved once and never cleared.
// Only the text is new memory, however large the file. False on a short read; bad is set when the
// bytes are not valid UTF-8.
bool StreamUtf8(std::FILE* file,
                std::size_t offset,
                std::size_t length,
                std::u16string& text,
                std::size_t& zeros,
                bool& bad)
{
    constexpr std::size_t Chunk = 65536;
    constexpr std::size_t Carry = 4;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[Carry + Chunk]);
    std::unique_ptr<char16_t[]> wide(new char16_t[Carry + Chunk]);
    unsigned char* const chunk = buffer.get() + Carry;

    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    std::size_t units = 0;
    zeros = 0;
    for (std::size_t left = length; left > 0;) {
        const std::size_t n = std::fread(chunk, 1, std::min(Chunk, left), file);
        if (n == 0) {
            return false;
        }
        left -= n;
        const std::size_t chunkZeros = CountBytes(chunk, n, units);
        zeros += chunkZeros;
    }
    text.reserve(units + units / 100 + 1);
    platform::AdviseHugePages(text.data(), text.capacity() * sizeof(char16_t));

    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    std::size_t carry = 0;
    for (std::size_t left = length; left > 0 || carry > 0;) {
        std::size_t n = 0;
        if (left > 0) {
            n = std::fread(chunk, 1, std::min(Chunk, left), file);
            if (n == 0) {
                return false;
            }
            left -= n;
            n = static_cast<std::size_t>(std::remove(chunk, chunk + n, 0) - chunk);
        }
        unsigned char* region = chunk - carry;
        const std::size_t size = carry + n;
        std::size_t cut = size;
        if (left > 0) {
            // A sequence that may go on in the next chunk waits for it; a lead byte always
            // begins a step of the decoder, so cutting there decodes as the whole text would.
            for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
                if (region[size - back] >= 0xC0) {
                    cut = size - back;
                    break;
                }
            }
        }
        text.append(wide.get(), DecodeUtf8Block<true>(region, cut, wide.get(), bad));
        carry = size - cut;
        std::memmove(chunk - carry, region + cut, carry);
    }
    return true;
}

bool IsUtf8CodePage(std::u16string_view encoding)
{
    return CodePageOf(encoding) == 65001;
}

// 8-bit or UTF-8 bytes (zero bytes already dropped) appended to text as UTF-16.
void ConvertBytes(std::string_view bytes, std::u16string_view from, std::u16string& text)
{
    TextConverter converter(from, u"UTF-16");
    if (converter.FromCodePage() == 65001) {
        std::size_t units = 0;
        CountBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), units);
        text.reserve(units + units / 100 + 1);
        bool bad = false;
        AppendUtf8(text, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), bad);
        return;
    }
    const std::size_t count = converter.Count(bytes.data(), bytes.size());
    text.resize(count + count / 100 + 1);
    text.resize(converter.Convert(bytes.data(), bytes.size(), text.data(), text.size()));
}

// Bytes left after dropping zeros cannot be UTF-16 or UTF-32 any more: a declaration naming one of
// those without a mark is read as UTF-8.
std::u16string EffectiveEncoding(const std::u16string& encoding)
{
    const int codePage = CodePageOf(encoding);
    if (IsUtf16(codePage) || IsUtf32(codePage)) {
        return u"UTF-8";
    }
    return encoding;
}

// A whole file's bytes decoded by the reading rules. notes get every note from "bom" on, docFlags
// the mark found, layout how the bytes were read. angleSaysUtf8 false: a first "<" has already
// turned out not to begin valid UTF-8.
void DecodeWhole(std::string_view all,
                 bool angleSaysUtf8,
                 std::u16string& text,
                 std::u16string& notes,
                 std::uint32_t& docFlags,
                 FileLayout& layout)
{
    FileStart start = Sniff(all);
    if (start.angle && !angleSaysUtf8) {
        start.encoding.clear();
        start.angle = false;
    }
    std::u16string encoding = start.encoding;
    const std::size_t offset = start.offset;
    if (start.mark != nullptr) {
        docFlags |= start.mark->flag;
        AddNote(&notes, u"bom");
    }
    layout = FileLayout{offset,
                        start.unit,
                        start.mark != nullptr && start.mark->flag == MarkUtf16Be,
                        encoding,
                        start.angle || encoding.empty()};

    if (start.unit == 2) {
        const std::size_t units = (all.size() - offset) / 2;
        AddNote(&notes, u"read", u"encoding", encoding, u"length", static_cast<long long>(units));
        const bool bigEndian = layout.bigEndian;
        text.reserve(units);
        for (std::size_t i = 0; i < units; ++i) {
            const auto b0 = static_cast<unsigned char>(all[offset + 2 * i]);
            const auto b1 = static_cast<unsigned char>(all[offset + 2 * i + 1]);
            const auto c = static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
            if (c != 0) {
                text.push_back(c);
            }
        }
        if (text.size() < units) {
            AddNote(&notes, u"nulls_removed", {}, {}, u"count", static_cast<long long>(units - text.size()));
        }
        if (bigEndian) {
            AddNote(&notes, u"endian_swap");
        }
        return;
    }

    std::string_view bytes = all.substr(offset);
    const auto length = static_cast<long long>(bytes.size()); // units read
    AddNote(&notes, u"read", u"encoding", encoding, u"length", length);
    std::string kept;
    if (std::memchr(bytes.data(), 0, bytes.size()) != nullptr) {
        kept.reserve(bytes.size());
        std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(kept), [](char c) { return c != '\0'; });
        AddNote(&notes, u"nulls_removed", {}, {}, u"count", length - static_cast<long long>(kept.size()));
        bytes = kept;
    }
    if (start.angle) {
        std::size_t units = 0;
        CountBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), units);
        text.reserve(units + units / 100 + 1);
        bool bad = false;
        AppendUtf8(text, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), bad);
        if (!bad) {
            AddNote(&notes, u"converted_to", u"encoding", u"UTF-16", u"length", static_cast<long long>(text.size()));
            return;
        }
        // Not UTF-8 after all: read as a file that says nothing of its encoding (code page 936).
        text.clear();
        encoding.clear();
        AddNote(&notes, u"read", u"encoding", encoding, u"length", length, std::nullopt, true);
        AddNote(&notes, u"utf8_detection");
    } else if (encoding.empty()) {
        if (LooksLikeUtf8(bytes)) {
            encoding = u"UTF-8";
            AddNote(&notes, u"read", u"encoding", encoding, u"length", length, std::nullopt, true);
        }
        AddNote(&notes, u"utf8_detection");
    }
    layout.encoding = EffectiveEncoding(encoding);
    ConvertBytes(bytes, layout.encoding, text);
    AddNote(&notes, u"converted_to", u"encoding", u"UTF-16", u"length", static_cast<long long>(text.size()));
}

// Opens a file for reading whole; a folder is refused as unreadable.
std::FILE* OpenForReading(const std::filesystem::path& path, struct stat& info, std::u16string& notes)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        FileError(notes, errno);
        return nullptr;
    }
    if (::fstat(::fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        FileError(notes, S_ISDIR(info.st_mode) ? EISDIR : errno);
        std::fclose(file);
        return nullptr;
    }
    return file;
}

// Every byte of an open file from its current offset on.
bool ReadRest(std::FILE* file, const struct stat& info, std::string& bytes, std::u16string& notes)
{
    bytes.clear();
    const std::size_t size = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) : 0;
    bytes.resize(size);
    std::size_t got = std::fread(bytes.data(), 1, size, file);
    if (got == size && !S_ISREG(info.st_mode)) {
        char chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.append(chunk, n);
        }
        got = bytes.size();
    }
    if (got < size || std::ferror(file) != 0) {
        FileError(notes, errno != 0 ? errno : EIO);
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace

bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes, std::u16string* result)
{
    std::u16string notes;
    bytes.clear();
    struct stat info
    {};
    std::FILE* file = OpenForReading(path, info, notes);
    bool ok = file != nullptr && ReadRest(file, info, bytes, notes);
    if (file != nullptr && std::fclose(file) != 0) {
        FileError(notes, errno);
    }
    if (result != nullptr) {
        *result = std::move(notes);
    }
    return ok;
}

void DecodeFileBytes(std::string_view bytes,
                     std::u16string& text,
                     std::u16string* result,
                     std::uint32_t* flags,
                     FileLayout* layout)
{
    std::u16string notes;
    std::uint32_t docFlags = (flags != nullptr ? *flags : 0) & ~MarkFlags;
    FileLayout found;
    text.clear();
    DecodeWhole(bytes, true, text, notes, docFlags, found);
    if (result != nullptr) {
        *result = std::move(notes);
    }
    if (flags != nullptr) {
        *flags = docFlags & ~OperationFlags;
    }
    if (layout != nullptr) {
        *layout = std::move(found);
    }
}

bool LoadFile(const std::filesystem::path& path, std::u16string& text, std::u16string* result, std::uint32_t* flags)
{
    std::u16string notes;
    text.clear();
    if (result != nullptr) {
        result->clear();
    }
    auto finish = [&](bool ok) {
        if (result != nullptr) {
            *result = std::move(notes);
        }
        return ok;
    };
    struct stat info
    {};
    std::FILE* file = OpenForReading(path, info, notes);
    if (file == nullptr) {
        return finish(false);
    }
    std::uint32_t docFlags = (flags != nullptr ? *flags : 0) & ~MarkFlags;
    auto done = [&](bool ok) {
        if (std::fclose(file) != 0) {
            FileError(notes, errno);
        }
        if (ok && flags != nullptr) {
            *flags = docFlags & ~OperationFlags;
        }
        return finish(ok);
    };

    // A file that says it is UTF-8 before it is read (mark, declaration, or '<' first) is decoded
    // while it is read; anything else is read whole and looked at first. A file that only began
    // with '<' and turns out not to be valid UTF-8 is read again whole.
    bool angleSaysUtf8 = true;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        const std::size_t size = static_cast<std::size_t>(info.st_size);
        char head[1024];
        const std::size_t headSize = std::fread(head, 1, std::min<std::size_t>(size, sizeof head), file);
        const FileStart start = Sniff(std::string_view(head, headSize));
        if (headSize == std::min<std::size_t>(size, sizeof head) && start.unit == 1 && IsUtf8CodePage(start.encoding)) {
            std::uint32_t streamFlags = docFlags;
            std::u16string streamNotes;
            if (start.mark != nullptr) {
                streamFlags |= start.mark->flag;
                AddNote(&streamNotes, u"bom");
            }
            const std::size_t length = size - start.offset;
            AddNote(&streamNotes, u"read", u"encoding", start.encoding, u"length", static_cast<long long>(length));
            std::size_t zeros = 0;
            bool bad = false;
            if (!StreamUtf8(file, start.offset, length, text, zeros, bad)) {
                text.clear();
                notes += streamNotes;
                FileError(notes, std::ferror(file) != 0 && errno != 0 ? errno : EIO);
                return done(false);
            }
            if (!start.angle || !bad) {
                if (zeros > 0) {
                    AddNote(&streamNotes, u"nulls_removed", {}, {}, u"count", static_cast<long long>(zeros));
                }
                AddNote(&streamNotes,
                        u"converted_to",
                        u"encoding",
                        u"UTF-16",
                        u"length",
                        static_cast<long long>(text.size()));
                notes += streamNotes;
                docFlags = streamFlags;
                return done(true);
            }
            text.clear();
            text.shrink_to_fit();
            angleSaysUtf8 = false;
        }
        if (std::fseek(file, 0, SEEK_SET) != 0) {
            FileError(notes, errno);
            return done(false);
        }
    }

    std::string all;
    if (!ReadRest(file, info, all, notes)) {
        std::fclose(file);
        return finish(false);
    }
    FileLayout layout;
    DecodeWhole(all, angleSaysUtf8, text, notes, docFlags, layout);
    return done(true);
}

namespace {

// Whether c is one of the two characters whose bytes tie a text to its file.
bool IsAnchor(char16_t c)
{
    return c == u'<' || c == u'>';
}

// The units of a file's bytes after its mark, as the layout reads them, one at a time.
class UnitReader
{
public:
    UnitReader(std::string_view bytes, const FileLayout& layout)
        : m_bytes(bytes)
        , m_unit(layout.unit)
        , m_bigEndian(layout.bigEndian)
        , m_end(layout.offset + (bytes.size() - std::min(bytes.size(), layout.offset)) / layout.unit * layout.unit)
    {}
    [[nodiscard]] std::size_t End() const { return m_end; }
    [[nodiscard]] std::size_t Unit() const { return m_unit; }
    [[nodiscard]] char16_t At(std::size_t pos) const
    {
        const auto b0 = static_cast<unsigned char>(m_bytes[pos]);
        if (m_unit == 1) {
            return b0;
        }
        const auto b1 = static_cast<unsigned char>(m_bytes[pos + 1]);
        return static_cast<char16_t>(m_bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    }
    // Next byte offset at or after pos (a unit boundary) holding '<' or '>'; End() when none.
    [[nodiscard]] std::size_t NextAnchor(std::size_t pos) const
    {
        if (m_unit == 1) {
            for (; pos < m_end; ++pos) {
                if (m_bytes[pos] == '<' || m_bytes[pos] == '>') {
                    return pos;
                }
            }
            return m_end;
        }
        for (; pos < m_end; pos += 2) {
            if (IsAnchor(At(pos))) {
                return pos;
            }
        }
        return m_end;
    }
    void Append(std::string& out, char16_t c) const
    {
        if (m_unit == 1) {
            out.push_back(static_cast<char>(c));
        } else if (m_bigEndian) {
            out.push_back(static_cast<char>(c >> 8));
            out.push_back(static_cast<char>(c & 0xFF));
        } else {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
    }

private:
    std::string_view m_bytes;
    std::size_t m_unit;
    bool m_bigEndian;
    std::size_t m_end;
};

} // namespace

std::optional<std::string> SpliceFileBytes(std::string_view bytes,
                                           const FileLayout& layout,
                                           std::u16string_view text,
                                           std::span<const TextEdit> edits)
{
    if (layout.unit != 1 && layout.unit != 2) {
        return std::nullopt;
    }
    const UnitReader reader(bytes, layout);
    // The k-th '<' or '>' of the text stands for the k-th of the bytes: every decoding here keeps
    // them one to one (a bad sequence never swallows one), which equal counts confirm.
    std::size_t textAnchors = 0;
    for (std::size_t at = FindEither(text, 0, u'<', u'>'); at != std::u16string_view::npos;
         at = FindEither(text, at + 1, u'<', u'>')) {
        ++textAnchors;
    }
    std::size_t byteAnchors = 0;
    for (std::size_t at = reader.NextAnchor(layout.offset); at < reader.End();
         at = reader.NextAnchor(at + reader.Unit())) {
        ++byteAnchors;
    }
    if (textAnchors != byteAnchors) {
        return std::nullopt;
    }

    // Cursors moving forward only: anchors of the text before textPos, and the byte offset of the
    // anchor numbered lastAnchor.
    std::size_t textPos = 0;
    std::size_t anchorsBefore = 0;
    std::size_t lastAnchor = 0;
    std::size_t lastAnchorAt = reader.NextAnchor(layout.offset);
    auto countTo = [&](std::size_t pos) {
        for (std::size_t at = FindEither(text, textPos, u'<', u'>'); at != std::u16string_view::npos && at < pos;
             at = FindEither(text, at + 1, u'<', u'>')) {
            ++anchorsBefore;
        }
        textPos = std::max(textPos, pos);
    };
    auto anchorAt = [&](std::size_t k) -> std::optional<std::size_t> {
        if (k < lastAnchor) {
            return std::nullopt;
        }
        while (lastAnchor < k && lastAnchorAt < reader.End()) {
            lastAnchorAt = reader.NextAnchor(lastAnchorAt + reader.Unit());
            ++lastAnchor;
        }
        return lastAnchorAt < reader.End() ? std::optional<std::size_t>(lastAnchorAt) : std::nullopt;
    };
    // The byte offset of a text position next to an anchor.
    auto place = [&](std::size_t pos) -> std::optional<std::size_t> {
        if (pos >= text.size()) {
            return std::nullopt;
        }
        countTo(pos);
        if (IsAnchor(text[pos])) {
            const auto at = anchorAt(anchorsBefore);
            return at && reader.At(*at) == text[pos] ? at : std::nullopt;
        }
        if (pos > 0 && IsAnchor(text[pos - 1])) {
            const auto at = anchorAt(anchorsBefore - 1);
            return at && reader.At(*at) == text[pos - 1] ? std::optional<std::size_t>(*at + reader.Unit())
                                                         : std::nullopt;
        }
        if (text[pos] == u'/' && pos + 1 < text.size() && text[pos + 1] == u'>') {
            const auto at = anchorAt(anchorsBefore);
            if (!at || reader.At(*at) != u'>' || *at < layout.offset + reader.Unit()
                || reader.At(*at - reader.Unit()) != u'/') {
                return std::nullopt;
            }
            return *at - reader.Unit();
        }
        return std::nullopt;
    };

    std::size_t grow = 0;
    for (const TextEdit& edit : edits) {
        grow += edit.replacement.size() * reader.Unit();
    }
    std::string out;
    out.reserve(bytes.size() + grow);
    platform::AdviseHugePages(out.data(), out.capacity());
    std::size_t copied = 0;
    std::size_t lastEnd = 0;
    for (const TextEdit& edit : edits) {
        if (edit.pos < lastEnd) {
            return std::nullopt;
        }
        const std::optional<std::size_t> begin = place(edit.pos);
        const std::optional<std::size_t> end = edit.oldLength == 0 ? begin : place(edit.pos + edit.oldLength);
        if (!begin || !end || *begin < copied || *end < *begin) {
            return std::nullopt;
        }
        out.append(bytes.substr(copied, *begin - copied));
        for (const char16_t c : edit.replacement) {
            if (c >= 0x80) {
                return std::nullopt; // only ASCII is the same in every 8-bit encoding
            }
            reader.Append(out, c);
        }
        copied = *end;
        lastEnd = edit.pos + edit.oldLength;
    }
    out.append(bytes.substr(copied));

    // The new bytes must be read the same way: what their start says, and the outcome of the UTF-8
    // test when that decided. An edit never joins two sequences (its ends touch ASCII), so valid
    // UTF-8 stays valid; but it may have removed the only bytes that failed the test.
    const FileStart before = Sniff(bytes.substr(0, 1024));
    const FileStart after = Sniff(std::string_view(out).substr(0, 1024));
    if (before.mark != after.mark || before.encoding != after.encoding || before.angle != after.angle) {
        return std::nullopt;
    }
    if (layout.tested && !IsUtf8CodePage(layout.encoding)) {
        const std::string_view body = std::string_view(out).substr(std::min(out.size(), layout.offset));
        std::string kept;
        std::copy_if(body.begin(), body.end(), std::back_inserter(kept), [](char c) { return c != '\0'; });
        if (LooksLikeUtf8(kept)) {
            return std::nullopt;
        }
    }

    // Bytes that our own decoders read (UTF-8, UTF-16) need no proof. Others are read back and must
    // give the edited text: a stateful code page (ISO-2022, HZ, UTF-7) could shift what an
    // anchor means.
    if (reader.Unit() == 1 && !IsUtf8CodePage(layout.encoding)) {
        std::u16string expected;
        expected.reserve(text.size() + grow);
        std::size_t from = 0;
        for (const TextEdit& edit : edits) {
            expected.append(text.substr(from, edit.pos - from));
            expected += edit.replacement;
            from = edit.pos + edit.oldLength;
        }
        expected.append(text.substr(from));
        std::string kept;
        const std::string_view body = std::string_view(out).substr(std::min(out.size(), layout.offset));
        std::copy_if(body.begin(), body.end(), std::back_inserter(kept), [](char c) { return c != '\0'; });
        std::u16string reread;
        ConvertBytes(kept, layout.encoding, reread);
        if (reread != expected) {
            return std::nullopt;
        }
    }
    return out;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::u16string* result)
{
    std::u16string notes;
    auto finish = [&](bool ok) {
        if (result != nullptr) {
            *result += notes;
        }
        return ok;
    };
    // A symbolic link stays a link: its target is replaced.
    std::filesystem::path target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
        if (!ec) {
            target = resolved;
        }
    }
    struct stat existing
    {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        FileError(notes, EISDIR);
        return finish(false);
    }
    // A file the user made read-only (no write bit, or none for us) is not replaced: writing into it
    // would have failed.
    if (exists && (existing.st_mode & 0222) == 0) {
        FileError(notes, EACCES);
        return finish(false);
    }
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        FileError(notes, errno);
        return finish(false);
    }
    std::filesystem::path temporary;
    int error = 0;
    const int fd = CreateTemporary(target, temporary, error);
    if (fd < 0) {
        FileError(notes, error);
        return finish(false);
    }
    auto fail = [&](int code) {
        FileError(notes, code);
        ::close(fd);
        ::unlink(temporary.c_str());
        return finish(false);
    };
    // The new file keeps the old one's permission bits.
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        return fail(errno);
    }
    if (!platform::WriteAll(fd, bytes.data(), bytes.size())) {
        return fail(errno);
    }
    if (::fsync(fd) != 0) {
        return fail(errno);
    }
    if (::close(fd) != 0) {
        error = errno;
        FileError(notes, error);
        ::unlink(temporary.c_str());
        return finish(false);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        FileError(notes, error);
        ::unlink(temporary.c_str());
        return finish(false);
    }
    SyncFolder(target);
    return finish(true);
}

std::size_t RemoveStaleTemporaries(const std::filesystem::path& folder, std::initializer_list<std::string_view> names)
{
    auto digits = [](std::string_view& rest, char stop) {
        std::size_t n = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') {
            ++n;
        }
        const bool ok = n > 0 && (stop == '\0' ? n == rest.size() : n < rest.size() && rest[n] == stop);
        const std::string_view taken = rest.substr(0, n);
        rest.remove_prefix(std::min(rest.size(), n + 1));
        return ok ? std::optional<std::string_view>(taken) : std::nullopt;
    };
    const std::string ownPid = std::to_string(::getpid());
    std::size_t removed = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string file = entry.path().filename().string();
        for (const std::string_view name : names) {
            // ".<name>.tmp<pid>-<counter>-<random>"
            const std::string prefix = "." + std::string(name) + ".tmp";
            if (!file.starts_with(prefix)) {
                continue;
            }
            std::string_view rest = std::string_view(file).substr(prefix.size());
            const auto pid = digits(rest, '-');
            const bool matches = pid && digits(rest, '-') && digits(rest, '\0');
            struct stat info
            {};
            if (matches && *pid != ownPid && ::lstat(entry.path().c_str(), &info) == 0 && S_ISREG(info.st_mode)
                && ::unlink(entry.path().c_str()) == 0) {
                ++removed;
            }
            break;
        }
    }
    return removed;
}

bool SaveFile(std::uint32_t* flags, std::u16string_view text, const std::filesystem::path& path, std::u16string* result)
{
    std::u16string notes;
    if (result != nullptr) {
        result->clear();
    }
    const std::uint32_t docFlags = flags != nullptr ? *flags : 0;
    auto finish = [&](bool ok) {
        if (result != nullptr) {
            *result = std::move(notes);
        }
        if (flags != nullptr) {
            *flags = docFlags & ~OperationFlags;
        }
        return ok;
    };

    // Encoding: the mark the document came with, else its declaration, else UTF-8.
    const ByteOrderMark* mark = nullptr;
    for (const ByteOrderMark& m : Marks) {
        if ((docFlags & m.flag) != 0) {
            mark = &m;
            break;
        }
    }
    std::u16string encoding = mark != nullptr ? std::u16string(mark->encoding) : std::u16string();
    if (mark == nullptr && !text.empty()) {
        encoding = GetDeclaredEncoding(text);
        if (encoding.empty()) {
            encoding = u"UTF-8";
        }
        // UTF-16 is written with its mark so that it reads back; UTF-32 files are not read, so UTF-8.
        const int codePage = CodePageOf(encoding);
        if (codePage == 1200 || codePage == 1201) {
            mark = &Marks[codePage == 1200 ? 1 : 2];
        } else if (IsUtf32(codePage)) {
            encoding = u"UTF-8";
        }
    }

    // Appending writes to the file itself; everything else goes through a temporary file.
    const bool append = (docFlags & AppendingFile) != 0;
    int fd = -1;
    struct stat existing
    {};
    if (append) {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::fstat(fd, &existing) != 0) {
            FileError(notes, errno);
            if (fd >= 0) {
                ::close(fd);
            }
            return finish(false);
        }
    }

    std::string bytes;
    if (mark != nullptr && (!append || existing.st_size == 0)) {
        bytes.assign(mark->bytes);
    }
    if (mark != nullptr) {
        AddNote(&notes, u"bom");
    }
    std::size_t units = 0;
    if (mark != nullptr && mark->unit == 2) {
        const bool bigEndian = mark->flag == MarkUtf16Be;
        const std::size_t base = bytes.size();
        bytes.resize(base + text.size() * 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            bytes[base + 2 * i] = static_cast<char>(bigEndian ? c >> 8 : c & 0xFF);
            bytes[base + 2 * i + 1] = static_cast<char>(bigEndian ? c & 0xFF : c >> 8);
        }
        units = text.size();
        if (bigEndian) {
            AddNote(&notes, u"endian_swap");
        }
    } else if (!text.empty()) {
        TextConverter converter(u"UTF-16", encoding);
        const std::size_t count = converter.Count(text.data(), text.size());
        const std::size_t base = bytes.size();
        bytes.resize(base + count);
        units = converter.Convert(text.data(), text.size(), bytes.data() + base, count);
        bytes.resize(base + units);
        AddNote(&notes, u"converted_from", u"encoding", u"UTF-16", u"length", static_cast<long long>(text.size()));
        if (converter.Lost()) {
            AddNote(&notes, u"conversion_loss");
        }
    }

    if (append) {
        const bool written = platform::WriteAll(fd, bytes.data(), bytes.size());
        const int error = errno;
        AddNote(&notes, u"write", u"encoding", encoding, u"length", static_cast<long long>(written ? units : 0));
        if (!written) {
            FileError(notes, error);
        }
        const bool closed = ::close(fd) == 0;
        if (written && !closed) {
            FileError(notes, errno);
        }
        return finish(written && closed);
    }
    std::u16string writeNotes;
    const bool written = WriteFileAtomically(path, bytes, &writeNotes);
    AddNote(&notes, u"write", u"encoding", encoding, u"length", static_cast<long long>(written ? units : 0));
    notes += writeNotes;
    return finish(written);
}

} // namespace markup
