#pragma once
// An IPv4 address box: four number fields of up to three digits separated by dots.
// Typing a third digit or a "." moves to the next field; a value above 255 becomes
// 255 when the field is left; an empty field counts as 0.
//
// Thread: user-interface thread.

#include <array>
#include <cstdint>

#include <QFrame>

class QLineEdit;

namespace sorvane {

class IpAddressEdit final : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // The address with the first field in the most significant byte.
    uint32_t address() const;
    void setAddress(uint32_t address);
    // Empties every field.
    void clear();
    bool isBlank() const;

    QLineEdit* field(int i) const { return fields_[size_t(i)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::array<QLineEdit*, 4> fields_{};
};

} // namespace sorvane
