#include "capture/ui/ShutterPlayer.h"

#include <QTemporaryFile>
#include <QUrl>
#ifdef SORVANE_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

#include "capture/ShutterSound.h"

namespace sorvane {

ShutterPlayer::ShutterPlayer(QObject* parent) : QObject(parent) {}

ShutterPlayer::~ShutterPlayer() = default;

void ShutterPlayer::play()
{
#ifdef SORVANE_HAVE_MULTIMEDIA
    if (failed_)
        return;
    if (!effect_) {
        const std::vector<uint8_t> wav = ShutterSoundWav();
        file_ = std::make_unique<QTemporaryFile>(QStringLiteral("sorvane-shutter-XXXXXX.wav"));
        if (!file_->open() ||
            file_->write(reinterpret_cast<const char*>(wav.data()), qint64(wav.size())) != qint64(wav.size()) ||
            !file_->flush()) {
            failed_ = true;
            return;
        }
        effect_ = new QSoundEffect(this);
        effect_->setSource(QUrl::fromLocalFile(file_->fileName()));
    }
    effect_->play();
#endif
}

} // namespace sorvane
