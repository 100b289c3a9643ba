#pragma once

// The loading stages the loader posts to the splash window (SplashStage: stage in the high word of
// wParam, flag in the low word, 1 for a failure). The splash holds their texts.

#include <cstdint>

#include "store/DataFileLoader.h"

namespace loading::stage {

constexpr std::uint32_t PrepareSkin = 1;                               // 准备加载皮肤
constexpr std::uint32_t PrepareData = 11;                              // 准备加载数据
constexpr std::uint32_t DataFileLoaded = store::stage::DataFileLoaded; // 13: 载入数据文件成功
constexpr std::uint32_t GameDetails = store::stage::GameDetails;       // 14: 正在加载游戏详细信息
constexpr std::uint32_t Categories = 15;                               // 正在加载游戏分类列表
constexpr std::uint32_t FetchingList = 21;                             // 正在下载更新列表
constexpr std::uint32_t ReadingList = 22;                              // 正在载入最新游戏
constexpr std::uint32_t SavingNewGames = 23;                           // 正在保存最新游戏
constexpr std::uint32_t FetchingPictures = 24;                         // l: hi total new games, lo number
constexpr std::uint32_t Settings = 31;                                 // 正在加载设置
constexpr std::uint32_t Done = 100;                                    // closes the splash

} // namespace loading::stage
