#pragma once

// The program's data stores in one object, owned by the application and passed by reference
// to whoever needs them. The loader thread fills them before the main window exists; afterwards
// only the main thread changes them (the unpacking thread reads settings.shortcut).

#include "store/BoxSettings.h"
#include "store/CategoryTree.h"
#include "store/GameCatalogue.h"

namespace store {

struct Stores
{
    GameCatalogue catalogue;
    CategoryTree categories;
    BoxSettings settings;
};

} // namespace store
