// Which way a data exchange copies: between a dialog's controls and its
// fields, or between the profile and a settings section. In the profile's
// case the section's fields stand where the controls stand: ToControls
// loads them from the profile, FromControls saves them to it.
#pragma once

namespace zef {

enum class DataDirection { ToControls, FromControls };

}  // namespace zef
