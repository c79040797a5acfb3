#pragma once
// The owner-drawn colour swatch of the New/Edit Connection dialog: its rectangle
// filled with one Windows colour value (0x00BBGGRR).
//
// Thread: user-interface thread.

#include <cstdint>

#include <QFrame>

namespace sorvane {

// 0x00BBGGRR to a QColor and back.
QColor colorFromWindowsValue(uint32_t value);
uint32_t windowsValueFromColor(const QColor& color);

class ColorSwatch final : public QFrame {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent = nullptr);
    uint32_t color() const { return color_; }
    void setColor(uint32_t value); // repaints

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t color_ = 0;
};

} // namespace sorvane
