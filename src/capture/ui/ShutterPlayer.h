#pragma once
// Plays one of the program's sounds (our own WAV data, ShutterSound.h: "SHUTTER" by
// default, or the skin buttons' "CLICK") through Qt Multimedia. The data goes to a
// temporary file once, at the first play; a desktop without an audio device stays
// silent. Built without Qt Multimedia, play() does nothing.
//
// Thread: user-interface thread. Playing does not block.

#include <cstdint>
#include <memory>
#include <vector>

#include <QObject>

class QSoundEffect;
class QTemporaryFile;

namespace sorvane {

class ShutterPlayer final : public QObject {
    Q_OBJECT
public:
    explicit ShutterPlayer(QObject* parent = nullptr);
    ShutterPlayer(std::vector<uint8_t> wav, QObject* parent);
    ~ShutterPlayer() override;
    // Plays the sound `times` times in a row.
    void play(int times = 1);
    // How many sounds were asked for since construction (heard or not).
    int played() const { return played_; }

private:
    std::vector<uint8_t> wav_;
    std::unique_ptr<QTemporaryFile> file_;
    QSoundEffect* effect_ = nullptr;
    bool failed_ = false;
    int played_ = 0;
};

} // namespace sorvane
