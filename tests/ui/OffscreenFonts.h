// The fonts of the headless platform that the window's tests run on.
#pragma once

namespace pw::test {

// On Windows the offscreen platform reads fonts only from the folder that
// QT_QPA_FONTDIR names (a variable Wine does not pass on) or else from
// "fonts" beside Qt's libraries, which holds none; without fonts it draws
// every character as a box as wide as the font is high, so that a caption
// of 21 letters takes 252 pixels and no layout check means anything. This
// gives it the TrueType and OpenType fonts that Windows lists as installed,
// and lets the families it asks for ("Sans Serif" for widgets, "Helvetica"
// for titles) stand for the system's message font, as the windows platform
// would show, or else for DejaVu Sans, the sans-serif the tests meet on
// Linux (Wine names Tahoma, yet lists only the host's fonts). Elsewhere
// fontconfig answers for the platform, and this does nothing.
// Call it once the application object exists.
void UseInstalledFonts();

}  // namespace pw::test
