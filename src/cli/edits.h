#pragma once
#include <QString>

class EditSession;

// Applies the steps of an edits file, a JSON list, to the card in order,
// through the same steps as the window: adding texts, rectangles, ellipses,
// lines and pictures, deleting, moving, aligning and distributing. Units
// are model units (0.1 mm; the card is 910 x 550), colours "#RRGGBB".
// A step that is not understood throws UsageFailure naming its index (from
// 0) and the reason; a step the card refuses (deleting a field) throws a
// file failure. The caller then writes nothing.
void ApplyEdits(EditSession &session, const QString &path);
