#include "capture/ui/ShutterPlayer.h"

#include <QTemporaryFile>
#include <QUrl>
#ifdef SORVANE_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

#include "capture/ShutterSound.h"

namespace sorvane {

ShutterPlayer::ShutterPlayer(QObject* parent) : ShutterPlayer(ShutterSoundWav(), parent) {}

ShutterPlayer::ShutterPlayer(std::vector<uint8_t> wav, QObject* parent) : QObject(parent), wav_(std::move(wav)) {}

ShutterPlayer::~ShutterPlayer() = default;

void ShutterPlayer::play(int times)
{
    if (times < 1)
        return;
    played_ += times;
#ifdef SORVANE_HAVE_MULTIMEDIA
    if (failed_)
        return;
    if (!effect_) {
        const std::vector<uint8_t>& wav = wav_;
        file_ = std::make_unique<QTemporaryFile>(QStringLiteral("sorvane-sound-XXXXXX.wav"));
        if (!file_->open() ||
            file_->write(reinterpret_cast<const char*>(wav.data()), qint64(wav.size())) != qint64(wav.size()) ||
            !file_->flush()) {
            failed_ = true;
            return;
        }
        effect_ = new QSoundEffect(this);
        effect_->setSource(QUrl::fromLocalFile(file_->fileName()));
    }
    // One play of an effect that is still playing starts it again, so two clicks in a
    // row would sound as one: the loop count plays each of them.
    effect_->setLoopCount(times);
    effect_->play();
#endif
}

} // namespace sorvane
