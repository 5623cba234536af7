#include "platform/ui/Cp1252Guard.h"

#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolTip>
#include <QValidator>
#include <memory>

#include "platform/Text.h"

namespace kr {

namespace {

void tellBeside(QWidget* box, const QString& refused)
{
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), cp1252RefusalText(refused), box);
}

// Takes refused characters out of what is typed or pasted.
class Cp1252Validator : public QValidator {
public:
    explicit Cp1252Validator(QLineEdit* edit) : QValidator(edit), box(edit) {}

    State validate(QString& input, int& pos) const override
    {
        const QString refused = refusedByCp1252(input);
        if (refused.isEmpty())
            return Acceptable;
        QString kept;
        int keptBeforeCursor = 0, at = 0;
        for (const char32_t c : input.toUcs4()) {
            const QString one = QString::fromUcs4(&c, 1);
            if (!refused.contains(one)) {
                kept += one;
                if (at < pos)
                    keptBeforeCursor += int(one.size());
            }
            at += int(one.size());
        }
        input = kept;
        pos = keptBeforeCursor;
        tellBeside(box, refused);
        return Acceptable;
    }

private:
    QLineEdit* box;
};

} // namespace

QString cp1252RefusalText(const QString& refused)
{
    return QStringLiteral("\u201C%1\u201D cannot be kept in a KR data file, which holds Western European letters "
                          "and signs only (Windows-1252).")
        .arg(refused);
}

void guardCp1252(QLineEdit* edit) { edit->setValidator(new Cp1252Validator(edit)); }

void guardCp1252(QPlainTextEdit* edit)
{
    auto removing = std::make_shared<bool>(false);
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, removing] {
        if (*removing)
            return;
        const QString refused = refusedByCp1252(edit->toPlainText());
        if (refused.isEmpty())
            return;
        *removing = true;
        for (const char32_t c : refused.toUcs4()) {
            const QString one = QString::fromUcs4(&c, 1);
            for (QTextCursor hit = edit->document()->find(one); !hit.isNull(); hit = edit->document()->find(one, hit))
                hit.removeSelectedText();
        }
        *removing = false;
        tellBeside(edit, refused);
    });
}

} // namespace kr
