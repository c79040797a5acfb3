#pragma once
// The lists and radio groups shared by the profile and settings dialogs; the index
// in a list is the stored value (refresh rate and scale: value - 1).
//
// Thread: user-interface thread.

#include <initializer_list>
#include <string>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QWidget;

namespace sorvane {

void fillLinkKinds(QComboBox& box);      // "IRDA" ... "Proxy Server"
void fillClickFormats(QComboBox& box);   // "BMP", "BMP24", "GIF", "JPEG"
void fillRefreshRates(QComboBox& box);   // "1 fps" ... "18 fps"
// "1X".."4X" (upper: the connection dialog) or "1x".."4x" (the settings dialog).
void fillScales(QComboBox& box, bool upperCase);
// "None" then the skin names; disabled (showing only "None") when there are none.
void fillSkins(QComboBox& box, const std::vector<std::string>& skinNames);

// Selects index, or the nearest entry when index is out of range.
void selectClamped(QComboBox& box, int index);

// A group box of radio buttons named after their ids, checked exclusively.
struct RadioGroup {
    QGroupBox* box = nullptr;
    QButtonGroup* group = nullptr;
    int firstId = 0;

    // Checks the button of value (its id is firstId + value); out of range checks the first.
    void check(int value) const;
    // The value of the first checked button, 0 when none is.
    int value() const;
    QAbstractButton* button(int value) const;
};

// "Screen Capture": "File" 1070, "Clipboard" 1071, "One Click" 1072.
RadioGroup makeCaptureGroup(QWidget* parent);
// "Recording Method": "Script events" 1073, "AVI video" 1074.
RadioGroup makeRecordingGroup(QWidget* parent);

} // namespace sorvane
