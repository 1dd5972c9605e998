// Shell helpers: the executable's recorded version, message boxes, window placement, the icon.
#pragma once

#include <cstdint>
#include <functional>

#include <QFont>
#include <QIcon>
#include <QSize>
#include <QString>

class QWidget;

// Reads the file version that brindlecast_add_version_note recorded in the executable fileName.
// True when it could; false for a file that carries no such record, is not an ELF file or cannot be
// read, and then the four outputs keep the values the caller gave them. The product version, which
// may differ, is not what this reads.
bool GetFileVersion(const QString& fileName, std::uint32_t& major, std::uint32_t& minor,
                    std::uint32_t& release, std::uint32_t& build);

// The running executable's file version as "major.minor.release.build"; "0.0.0.0" when the
// executable carries none.
QString GetVersionString();

// An error message with the error icon and one OK button; returns once it is closed. Both message
// kinds show their text as plain text, whatever it holds.
void ShowErrorMessage(QWidget* parent, const QString& text);
// A question with the confirmation icon and Yes and No buttons; true only for Yes.
bool ConfirmMessage(QWidget* parent, const QString& text);

// The same two messages opened over parent without waiting for them (QDialog::open), for handlers
// that must return before the user answers (replies of a client session). answered gets true only
// for Yes, and nothing if parent is gone first.
void OpenErrorMessage(QWidget* parent, const QString& text);
void OpenConfirmMessage(QWidget* parent, const QString& text, std::function<void(bool yes)> answered);

// The font of the program's windows, menus and message boxes: Tahoma 8 pt. Where Tahoma is missing, the Arial-metric
// Liberation Sans stands in rather than the wider system sans, so the fixed layouts keep their
// captions whole.
QFont WindowFont();

// Gives a dialog the caption, a fixed frame around a client area of clientSize, and the window font.
void MakeFixedDialog(QWidget* dialog, const QString& caption, QSize clientSize);

// Places a top-level window so that its frame is centred on the screen it is on; a window whose
// frame the window manager has not drawn yet is centred again once it has.
void CentreOnScreen(QWidget* window);

// The application icon.
QIcon ApplicationIcon();
