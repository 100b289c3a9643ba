#include "store/SettingsForm.h"

#include "store/DataFileLoader.h"

namespace store {

MaxnumCheck CheckMaxDownloads(std::string_view text, std::int32_t* value)
{
    if (text.empty()) {
        return MaxnumCheck::Empty;
    }
    const std::int64_t number = LeadingInteger(text);
    if (number < FewestDownloadsAllowed || number > MostDownloadsAllowed) {
        return MaxnumCheck::OutOfRange;
    }
    if (value != nullptr) {
        *value = static_cast<std::int32_t>(number);
    }
    return MaxnumCheck::Valid;
}

SettingsForm SettingsForm::Of(const BoxSettings& settings, bool autostartEntry)
{
    SettingsForm form;
    form.startWithSession = autostartEntry;
    form.closeToTray = settings.exit;
    form.resumeUnfinished = settings.autodown;
    form.maxnum = std::to_string(settings.maxnum.Get());
    form.shortcut = settings.shortcut;
    form.autogame = settings.autogame;
    return form;
}

TabApplied ApplySettingsTab(const SettingsForm& form, SettingsTab tab, BoxSettings& settings)
{
    TabApplied applied;
    switch (tab) {
    case SettingsTab::General:
        settings.autostart = form.startWithSession;
        settings.exit = form.closeToTray;
        applied.autostart = form.startWithSession ? AutostartAction::Add : AutostartAction::Remove;
        break;
    case SettingsTab::Download: {
        std::int32_t maxnum = 0;
        applied.maxnum = CheckMaxDownloads(form.maxnum, &maxnum);
        if (applied.Applied()) {
            settings.maxnum = maxnum;
            settings.autodown = form.resumeUnfinished;
        }
        break;
    }
    case SettingsTab::Game:
        settings.shortcut = form.shortcut;
        settings.autogame = form.autogame;
        break;
    }
    return applied;
}

} // namespace store
