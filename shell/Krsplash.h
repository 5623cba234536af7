#pragma once
#include <QWidget>

#include "KrVersion.h"

class QLabel;

namespace kr {

// The splash window shown while the program starts: a borderless picture,
// always on top, centred, with the version line at its lower left.
class TfmSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int Width = 401;
    static constexpr int Height = 301;

    explicit TfmSplash(QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// The version line the splash shows.
inline const QString SplashVersionText = QStringLiteral("Version ") + QLatin1String(Version);

} // namespace kr
