#include <set>
#include <string>

#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "store/CategoryTree.h"

namespace store::test {
namespace {

GameCatalogue CatalogueOf(std::initializer_list<std::string> ids)
{
    GameCatalogue catalogue;
    for (const std::string& id : ids) {
        catalogue[id].id = id;
        catalogue[id].name = "game " + id;
    }
    return catalogue;
}

std::vector<std::string> Keys(const auto& map)
{
    std::vector<std::string> keys;
    for (const auto& entry : map) {
        keys.push_back(entry.first);
    }
    return keys;
}

TEST(CategoryTree, BuiltinDocumentHoldsEveryCategoryWithAnEmptyCatalogue)
{
    CategoryTree tree;
    tree.LoadCategories(GameCatalogue{});
    ASSERT_EQ(Keys(tree.nodes), (std::vector<std::string>{"42", "43", "44", "45"}));
    EXPECT_EQ(tree.nodes["42"].name, "全部游戏");
    EXPECT_EQ(tree.nodes["43"].name, "专题游戏");
    EXPECT_EQ(tree.nodes["44"].name, "专题游戏2");
    EXPECT_EQ(tree.nodes["45"].name, "模拟器游戏");
    EXPECT_EQ(Keys(tree.nodes["42"].subs),
              (std::vector<std::string>{"19", "20", "21", "22", "23", "24", "25", "34", "39", "40"}));
    EXPECT_EQ(Keys(tree.nodes["45"].subs), (std::vector<std::string>{"33", "85"}));
    EXPECT_EQ(tree.nodes["45"].subs["85"].name, "nds游戏");
    EXPECT_EQ(tree.nodes["44"].subs["91"].name, "梦之旅系列");
    std::size_t subs = 0;
    for (const auto& [id, node] : tree.nodes) {
        EXPECT_EQ(node.id, id);
        for (const auto& [subId, sub] : node.subs) {
            EXPECT_EQ(sub.id, subId);
            EXPECT_TRUE(sub.games.empty());
            ++subs;
        }
    }
    EXPECT_EQ(subs, 35U);
}

TEST(CategoryTree, BuiltinDocumentListsTheSampleGames)
{
    // Collect the ids the document names, then load them all as a catalogue.
    CategoryTree probe;
    std::string bytes(BuiltinCategoryDocument());
    ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    std::set<std::string> ids;
    for (std::size_t at = bytes.find("<idlist>"); at != std::string::npos; at = bytes.find("<idlist>", at + 1)) {
        const std::size_t end = bytes.find("</idlist>", at);
        std::string list = bytes.substr(at + 8, end - at - 8);
        for (std::size_t sep = list.find("##"); sep != std::string::npos; sep = list.find("##")) {
            ids.insert(list.substr(0, sep));
            list.erase(0, sep + 2);
        }
    }
    EXPECT_EQ(ids.size(), 360U); // the sample catalogue
    GameCatalogue catalogue;
    for (const std::string& id : ids) {
        catalogue[id].name = "n" + id;
    }
    probe.LoadCategories(catalogue);
    std::set<std::string> listed;
    std::size_t entries = 0;
    for (const auto& [id, node] : probe.nodes) {
        for (const auto& [subId, sub] : node.subs) {
            for (const auto& [gameId, name] : sub.games) {
                EXPECT_EQ(name, "n" + gameId);
                listed.insert(gameId);
                ++entries;
            }
        }
    }
    EXPECT_EQ(listed, ids);
    EXPECT_GT(entries, ids.size()); // some games stand in two categories
}

TEST(CategoryTree, DocumentRules)
{
    const std::string doc = "\xEF\xBB\xBF<gamecls>\r\n<clslist>\r\n"
                            "<cls1 id=\"50\" name=\"一\">\r\n"
                            "<cls2 id=\"2\" name=\"a\">\r\n<idlist>112##1118##110##unknown##12</idlist>\r\n</cls2>\r\n"
                            "<cls2 id=\"10\" name=\"b\">\r\n<idlist>112##</idlist>\r\n</cls2>\r\n"
                            "<cls2 id=\"2\" name=\"a again\"><idlist>110##</idlist></cls2>\r\n"
                            "<cls2 id=\"3\" name=\"no list\"/>\r\n"
                            "</cls1>\r\n"
                            "<cls1 id=\"42\" name=\"全部游戏\"/>\r\n"
                            "</clslist>\r\n</gamecls>\r\n";
    CategoryTree tree;
    CategoryNode kept;
    kept.id = "99";
    kept.name = "每日最新";
    tree.nodes["99"] = kept;
    tree.nodes["42"].name = "replaced";
    ASSERT_TRUE(tree.LoadCategories(CatalogueOf({"110", "1118", "112", "12"}), doc));
    EXPECT_EQ(Keys(tree.nodes), (std::vector<std::string>{"42", "50", "99"}));
    EXPECT_EQ(tree.nodes["42"].name, "全部游戏");
    EXPECT_TRUE(tree.nodes["42"].subs.empty());
    EXPECT_EQ(tree.nodes["99"], kept);
    const CategoryNode& node = tree.nodes["50"];
    EXPECT_EQ(Keys(node.subs), (std::vector<std::string>{"10", "2", "3"}));
    EXPECT_EQ(node.subs.at("2").name, "a again");
    EXPECT_EQ(Keys(node.subs.at("2").games), (std::vector<std::string>{"110"}));
    EXPECT_EQ(Keys(node.subs.at("10").games), (std::vector<std::string>{"112"}));
    EXPECT_TRUE(node.subs.at("3").games.empty());

    // The first list without the later duplicate: "12" has no "##" and is dropped; order is byte-wise.
    CategoryTree single;
    ASSERT_TRUE(
        single.LoadCategories(CatalogueOf({"110", "1118", "112", "12"}),
                              "<gamecls><clslist><cls1 id=\"1\"><cls2 id=\"2\"><idlist>112##1118##110##unknown##12"
                              "</idlist></cls2></cls1></clslist></gamecls>"));
    EXPECT_EQ(Keys(single.nodes["1"].subs["2"].games), (std::vector<std::string>{"110", "1118", "112"}));
    EXPECT_EQ(single.nodes["1"].subs["2"].games["1118"], "game 1118");
}

TEST(CategoryTree, BrokenDocumentsLeaveTheTreeAsItWas)
{
    for (const std::string& doc : {std::string(),
                                   std::string("<gamecls><clslist><cls1 id=\"1\">"),
                                   std::string("<other><clslist><cls1 id=\"1\"/></clslist></other>"),
                                   std::string("<gamecls><list><cls1 id=\"1\"/></list></gamecls>"),
                                   std::string("\xFF\xFE\x00<"),
                                   std::string("<gamecls/><gamecls/>")}) {
        CategoryTree tree;
        tree.nodes["7"].name = "seven";
        EXPECT_FALSE(tree.LoadCategories(CatalogueOf({"1"}), doc));
        EXPECT_EQ(Keys(tree.nodes), (std::vector<std::string>{"7"}));
    }
}

} // namespace
} // namespace store::test
