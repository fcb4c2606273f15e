#pragma once
// The program speaks Japanese whatever the user's locale: Qt's own texts
// (the standard buttons and dialogs) come from Qt's Japanese translation,
// numbers and dates follow Japanese, and every window without a face of its
// own takes the window's proportional gothic face.

// Needs the application object. Returns false when Qt's Japanese
// translation is not installed (the standard dialogs then stay in English);
// the rest is done either way. Calling it again changes nothing.
bool SpeakJapanese();

class QFileDialog;

// What Qt's translation leaves in the file dialog's list in English or in
// the system's locale: the word for a folder in the type column and the
// dates of the modified column.
void SpeakJapanese(QFileDialog &dialog);
