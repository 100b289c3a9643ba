#pragma once

// The two-level category tree built from the category document compiled into the program.

#include <map>
#include <string>
#include <string_view>

#include "store/GameCatalogue.h"

namespace store {

// A second-level category: game id -> the catalogue's name of that game when the tree was built.
struct SubCategoryNode
{
    std::string name;
    std::string id;
    std::map<std::string, std::string> games; // byte-wise id order; only games of the catalogue

    bool operator==(const SubCategoryNode&) const = default;
};

// A first-level category with its second-level categories.
struct CategoryNode
{
    std::string name;
    std::string id;
    std::map<std::string, SubCategoryNode> subs; // byte-wise id order

    bool operator==(const CategoryNode&) const = default;
};

// Id of the category of the day's newest games (first and second level alike).
inline constexpr std::string_view DailyNewestId = "99";
inline constexpr std::string_view DailyNewestName = "每日最新";

// First-level id -> node, byte-wise id order. No lock: filled on the loader thread before the
// main window exists, read by the main thread afterwards.
struct CategoryTree
{
    std::map<std::string, CategoryNode> nodes;

    // Builds or refreshes the tree from the built-in category document. Entries under ids the
    // document does not name stay. An ill-formed document leaves the tree as it was.
    void LoadCategories(const GameCatalogue& catalogue);
    // The same from the bytes of a category document (UTF-8, with or without a byte-order mark).
    // False when the document is ill-formed or lacks gamecls/clslist (the tree is unchanged).
    bool LoadCategories(const GameCatalogue& catalogue, std::string_view documentBytes);
};

// The bytes of the category document compiled into the program (gameclslist.xml).
std::string_view BuiltinCategoryDocument();

} // namespace store
