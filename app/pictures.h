// The glossary's small pictures, drawn in code so that no artwork file is needed: the title-bar
// glyphs, the mail window's button glyphs and envelope, and the maker's logo and icon for the
// about window.
// Thread-safety: UI thread only (they paint on QPixmaps).
#pragma once

#include <QPixmap>

namespace zendo {

// 10 by 9 on grey 191 (the transparent colour): a black diagonal cross two pixels thick.
QPixmap CloseGlyph();
// 10 by 9 on grey 191: a black bar two pixels high across columns 1 to 8 of rows 5 and 6.
QPixmap MinimiseGlyph();

// 16 by 16 glyphs of the mail window with transparent backgrounds.
QPixmap SendGlyph();
QPixmap AttachGlyph();
QPixmap NoteGlyph();
// Two images side by side, up and disabled (32 by 16).
QPixmap ExitGlyph();
QPixmap RemoveGlyph();
// The envelope in the mail window's top right corner, 34 by 34.
QPixmap MailPicture();

// The maker's logo, 230 by 113, and its 16 by 16 icon.
QPixmap KorvanLogo();
QPixmap KorvanIcon();

// The program's icon, 64 by 64: the drawing of app/desktop/zendo.svg (a glossary page with its
// blue title bar and a lens over the words).
QPixmap ZendoIcon();

} // namespace zendo
