#include "views/UiTexts.h"

namespace views {
namespace {

// Entry 15 holds the markup's doubled slash, so that it shows as one slash.
constexpr std::array<const char*, UiTexts::Count> Texts = {
    "最小化",                       // 0
    "最大化",                       // 1
    "",                             // 2
    "关闭",                         // 3
    "当前版本",                     // 4
    "联系我们",                     // 5
    "个游戏正在下载",               // 6
    "速度",                         // 7
    "查看详情",                     // 8
    "搜索",                         // 9
    "设置",                         // 10
    "在线游戏",                     // 11
    "本地游戏",                     // 12
    "前页",                         // 13
    "后页",                         // 14
    "全选//反选",                   // 15
    "下载已选",                     // 16
    "删除已选",                     // 17
    "彻底删除",                     // 18
    "类型",                         // 19
    "语言",                         // 20
    "大小",                         // 21
    "浏览量",                       // 22
    "更新时间",                     // 23
    "简介",                         // 24
    "攻略",                         // 25
    "开始下载",                     // 26
    "暂停下载",                     // 27
    "继续下载",                     // 28
    "停止下载",                     // 29
    "打开游戏",                     // 30
    "Marlune-下载管理",             // 31
    "正在下载",                     // 32
    "已下载",                       // 33
    "垃圾箱",                       // 34
    "款",                           // 35
    "页",                           // 36
    "大小共计",                     // 37
    "打开下载目录",                 // 38
    "共",                           // 39
    "打开",                         // 40
    "还原",                         // 41
    "Marlune-设置",                 // 42
    "常规设置",                     // 43
    "下载设置",                     // 44
    "游戏设置",                     // 45
    "添加到开机自动启动",           // 46
    "点击关闭按钮最小化到托盘",     // 47
    "自动开始上次未完成",           // 48
    "同时下载最大个数(1-10)",       // 49
    "运行游戏时在桌面生成快捷方式", // 50
    "游戏下载完成自动启动",         // 51
    "确定",                         // 52
    "应用",                         // 53
    "退出",                         // 54
};

} // namespace

UiTexts::UiTexts()
{
    for (std::size_t i = 0; i < Texts.size(); ++i) {
        m_texts[i] = Texts[i];
    }
}

const std::string& UiTexts::At(int index) const
{
    static const std::string empty;
    if (index < 0 || index >= Count) {
        return empty;
    }
    return m_texts[static_cast<std::size_t>(index)];
}

} // namespace views
