// Writes any bytes to a file, loads and parses it, saves it again and loads the copy: whenever
// nothing was lost on the way, the copy must read back as the same text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "FuzzWalk.h"
#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"

namespace {

using markup::fuzz::Check;

const std::filesystem::path& Folder()
{
    static const std::filesystem::path folder = [] {
        // A memory file system when there is one: every save syncs its file.
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "marlune-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

bool MentionsEncoding(const std::u16string& text)
{
    std::u16string lower = text;
    for (char16_t& c : lower) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return lower.find(u"encoding") != std::u16string::npos || lower.find(u"charset") != std::u16string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path in = Folder() / "in.xml";
    const std::filesystem::path out = Folder() / "out.xml";
    std::FILE* file = std::fopen(in.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::u16string text;
    std::u16string notes;
    std::uint32_t flags = 0;
    Check(markup::LoadFile(in, text, &notes, &flags));
    Check(text.find(u'\0') == std::u16string::npos);
    Check(notes.size() <= 1000);

    markup::MarkupDoc doc;
    doc.SetDocument(text);
    doc.SetDocFlags(flags);
    markup::fuzz::CheckIndex(doc);
    markup::fuzz::Walk(doc);

    Check(doc.Save(out));
    const bool lost = doc.GetResult().find(u"conversion_loss") != std::u16string::npos;
    std::u16string again;
    std::uint32_t flagsAgain = 0;
    Check(markup::LoadFile(out, again, nullptr, &flagsAgain));
    // A leading U+FEFF written without a mark reads back as the mark itself.
    const bool leadingMark = !text.empty() && text[0] == u'\uFEFF';
    if (!lost && !leadingMark && !MentionsEncoding(text)) {
        Check(again == text);
        Check(flagsAgain == flags);
    }
    return 0;
}
