#include "store/CategoryTree.h"

#include <utility>

#include "markup/MarkupDoc.h"
#include "platform/Utf.h"

namespace store {

void CategoryTree::LoadCategories(const GameCatalogue& catalogue)
{
    static_cast<void>(LoadCategories(catalogue, BuiltinCategoryDocument()));
}

bool CategoryTree::LoadCategories(const GameCatalogue& catalogue, std::string_view documentBytes)
{
    using platform::Utf16ToUtf8;
    // A byte-order mark becomes U+FEFF, text before the root that the parser accepts.
    markup::MarkupDoc doc;
    if (!doc.SetDocument(platform::Utf8ToUtf16(documentBytes))) {
        return false;
    }
    if (!doc.FindElement(u"gamecls") || !doc.FindChildElement(u"clslist")) {
        return false;
    }
    doc.EnterElement();
    while (doc.FindChildElement(u"cls1")) {
        CategoryNode node;
        node.id = Utf16ToUtf8(doc.GetChildAttribute(u"id"));
        node.name = Utf16ToUtf8(doc.GetChildAttribute(u"name"));
        doc.EnterElement();
        while (doc.FindChildElement(u"cls2")) {
            SubCategoryNode sub;
            sub.id = Utf16ToUtf8(doc.GetChildAttribute(u"id"));
            sub.name = Utf16ToUtf8(doc.GetChildAttribute(u"name"));
            doc.EnterElement();
            if (doc.FindChildElement(u"idlist")) {
                const std::string ids = Utf16ToUtf8(doc.GetContent(doc.ChildPos()));
                std::string_view rest = ids;
                // Every id is followed by "##"; a last part without it is dropped.
                for (std::size_t at = rest.find("##"); at != std::string_view::npos; at = rest.find("##")) {
                    const auto game = catalogue.find(std::string(rest.substr(0, at)));
                    if (game != catalogue.end()) {
                        sub.games.insert_or_assign(game->first, game->second.name);
                    }
                    rest.remove_prefix(at + 2);
                }
            }
            doc.LeaveElement();
            std::string key = sub.id;
            node.subs.insert_or_assign(std::move(key), std::move(sub));
        }
        doc.LeaveElement();
        std::string key = node.id;
        nodes.insert_or_assign(std::move(key), std::move(node));
    }
    doc.LeaveElement();
    return true;
}

} // namespace store
