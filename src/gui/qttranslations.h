#pragma once

// Qt's own Chinese texts (standard buttons, file dialogs), from the system's Qt translations.
namespace qttranslations {

// False when the translations are not installed; the dialogs then stay in English.
bool load();

} // namespace qttranslations
