#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/app_resources.h"
#include "app/drop_down_list.h"
#include "window/label_fit.h"

namespace {

// Windows' MulDiv: a * b / c rounded half away from zero.
int mulDiv(int a, int b, int c) { return static_cast<int>(std::lround(static_cast<double>(a) * b / c)); }

constexpr int kIconPixels = 32;

QRect fitLabelWidget(const QLabel& label, const QRect& rect, bool rightAligned) {
    std::vector<PixelRect> others;
    for (const QObject* child : label.parentWidget()->children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget == nullptr || widget == &label || widget->isWindow()) continue;
        const QRect g = widget->geometry();
        others.push_back({g.x(), g.y(), g.width(), g.height()});
    }
    const PixelRect fitted = fitLabel({rect.x(), rect.y(), rect.width(), rect.height()},
                                      label.fontMetrics().horizontalAdvance(label.text()), rightAligned, others);
    return QRect(fitted.x, fitted.y, fitted.w, fitted.h);
}

QWidget* makeControl(QWidget& dialog, const ControlTemplate& c, const DialogUnits& units, Language language) {
    const QString text = QString::fromUtf8(uiText(c.text, language));
    const QRect rect = units.toPixels(c.x, c.y, c.w, c.h);
    switch (c.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(text, &dialog);
        label->setTextFormat(Qt::PlainText);
        const bool rightAligned = (c.style & kRightAligned) != 0;
        label->setAlignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        label->setGeometry(fitLabelWidget(*label, rect, rightAligned));
        return label;
    }
    case ControlKind::Icon: {
        // Like a static icon control, the picture keeps the system icon size
        // whatever the template rectangle says.
        auto* label = new QLabel(&dialog);
        label->setPixmap(applicationIcon().pixmap(kIconPixels, kIconPixels));
        label->setGeometry(rect.x(), rect.y(), kIconPixels, kIconPixels);
        return label;
    }
    case ControlKind::DropDown: {
        auto* combo = new DropDownList(&dialog);
        const int closedHeight = combo->sizeHint().height();
        const int itemHeight = combo->fontMetrics().height() + 2;
        combo->setMaxVisibleItems(std::max(1, (rect.height() - closedHeight) / itemHeight));
        combo->setGeometry(rect.x(), rect.y(), rect.width(), closedHeight);
        return combo;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, &dialog);
        const bool isDefault = c.kind == ControlKind::DefPushButton;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        button->setGeometry(rect);
        return button;
    }
    case ControlKind::EditBox: {
        auto* edit = new QLineEdit(&dialog);
        edit->setFrame((c.style & kBorder) != 0);
        edit->setGeometry(rect);
        return edit;
    }
    }
    return nullptr;
}

} // namespace

DialogUnits DialogUnits::forFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width52 =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits{(width52 / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::toPixelsX(int units) const { return mulDiv(units, baseX, 4); }
int DialogUnits::toPixelsY(int units) const { return mulDiv(units, baseY, 8); }

QRect DialogUnits::toPixels(int x, int y, int w, int h) const {
    return QRect(toPixelsX(x), toPixelsY(y), toPixelsX(w), toPixelsY(h));
}

QFont dialogFont(const DialogTemplate& tmpl) {
    QFont font;
    font.setFamilies({QString::fromUtf8(tmpl.fontFace), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC"),
                      QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Microsoft YaHei")});
    font.setPointSize(tmpl.pointSize);
    return font;
}

QSize clientSize(const DialogTemplate& tmpl, const DialogUnits& units) {
    return QSize(units.toPixelsX(tmpl.w), units.toPixelsY(tmpl.h));
}

QList<QWidget*> buildControls(QWidget& dialog, const DialogTemplate& tmpl, const DialogUnits& units,
                              Language language) {
    QList<QWidget*> widgets;
    QWidget* previousStop = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* widget = makeControl(dialog, c, units, language);
        if (c.id != kNoControlId) widget->setObjectName(QStringLiteral("control%1").arg(c.id));
        if (c.style & kTabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousStop != nullptr) QWidget::setTabOrder(previousStop, widget);
            previousStop = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        widgets.append(widget);
    }
    return widgets;
}

void showControlTexts(const QList<QWidget*>& widgets, const DialogTemplate& tmpl, const DialogUnits& units,
                      Language language) {
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        const ControlTemplate& c = tmpl.controls[static_cast<std::size_t>(i)];
        if (c.text == TextId::None) continue;
        const QString text = QString::fromUtf8(uiText(c.text, language));
        if (auto* button = qobject_cast<QPushButton*>(widgets[i])) button->setText(text);
        if (auto* label = qobject_cast<QLabel*>(widgets[i])) {
            label->setText(text);
            const bool rightAligned = (c.style & kRightAligned) != 0;
            label->setGeometry(fitLabelWidget(*label, units.toPixels(c.x, c.y, c.w, c.h), rightAligned));
        }
    }
}
