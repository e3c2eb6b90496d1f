#pragma once

#include "common/Message.h"
#include "run/AppState.h"
#include "settings/LanguageTable.h"
#include "settings/SettingsStore.h"

namespace gui {

// What a settings dialog or a side window uses of the program: the settings, the texts and the
// message function, not the read values or the host. Windows hand on the state they hold.
struct DialogContext {
    DialogContext(run::AppState& state) // NOLINT: implicit, so that a window passes its state
        : store(state.store), texts(state.texts), message(state.message) {}

    settings::SettingsStore& store;
    const settings::LanguageTable& texts;
    common::MessageFn message;

    QString text(const QString& section, int line) const { return texts.text(section, line); }
};

} // namespace gui
