#pragma once
// Plays the "SHUTTER" sound (our own WAV data, ShutterSound.h) through Qt
// Multimedia. The data goes to a temporary file once, at the first play; a desktop
// without an audio device stays silent. Built without Qt Multimedia, play() does
// nothing.
//
// Thread: user-interface thread. Playing does not block.

#include <memory>

#include <QObject>

class QSoundEffect;
class QTemporaryFile;

namespace sorvane {

class ShutterPlayer final : public QObject {
    Q_OBJECT
public:
    explicit ShutterPlayer(QObject* parent = nullptr);
    ~ShutterPlayer() override;
    void play();

private:
    std::unique_ptr<QTemporaryFile> file_;
    QSoundEffect* effect_ = nullptr;
    bool failed_ = false;
};

} // namespace sorvane
