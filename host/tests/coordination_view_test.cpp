#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QDoubleSpinBox>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTableWidget>
#include <QToolTip>
#include <QtTest>

#include "ui/band_view.hpp"
#include "ui/coordination_panel.hpp"
#include "ui/theme.hpp"
#include "widget_test_helpers.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

UiSettings unit(std::vector<std::uint32_t> enabled) {
  UiSettings s;
  s.min_freq = 470000;
  s.max_freq = 500000;
  for (auto f : enabled) s.channels.push_back({f, false, false, true});
  return s;
}

// 480.100 + 485.000 − 482.750 = 482.350, SIM0003's frequency.
UnitSettingsMap three_tone_rig() {
  return {{"SIM0000", unit({480100})},
          {"SIM0001", unit({485000})},
          {"SIM0002", unit({482750})},
          {"SIM0003", unit({482350})}};
}

std::vector<BandUnit> lanes(const UnitSettingsMap& units) {
  std::vector<BandUnit> out;
  for (const auto& [key, s] : units) {
    out.push_back({QString::fromStdString(key), {}, s.min_freq, s.max_freq, s.channels});
  }
  return out;
}

QPointF centre(const BandLayout& l, std::size_t lane, std::uint32_t khz) {
  return {l.x_of(khz), l.lane_top(lane) + l.lane_height / 2.0};
}

}  // namespace

class CoordinationViewTest : public QObject {
  Q_OBJECT

 private slots:
  void scale_maps_both_ways_and_lanes_by_height() {
    const std::vector<BandUnit> units{{"A", {}, 470000, 480000, {}}, {"B", {}, 475000, 490000, {}}};
    const BandLayout l = band_layout(units, QSize(1000, 400), 1);
    QVERIFY(l.f0 < 470000 && l.f1 > 490000);
    QCOMPARE(l.x_of(l.f0), l.left);
    QCOMPARE(l.x_of(l.f1), l.right);
    for (double khz : {470000.0, 482345.0, 490000.0}) QCOMPARE(l.khz_at(l.x_of(khz)), khz);
    QVERIFY(l.x_of(480000) < l.x_of(480025));
    QVERIFY((l.f1 - l.f0) / l.tick_step <= (l.right - l.left) / 90.0);  // labels do not overlap
    // Three lanes of full height: two units and the extra one, then the axis.
    QCOMPARE(l.lane_height, BandLayout::LANE_HEIGHT);
    QCOMPARE(l.axis_y, l.lanes_top + 3 * l.lane_height);
    QCOMPARE(l.lane_at(l.lanes_top - 1), std::optional<std::size_t>{});
    QCOMPARE(l.lane_at(l.lanes_top), std::optional<std::size_t>{0});
    QCOMPARE(l.lane_at(l.lane_top(2) + l.lane_height - 1), std::optional<std::size_t>{2});
    QCOMPARE(l.lane_at(l.axis_y), std::optional<std::size_t>{});
  }

  void conflict_ring_says_what_it_is_and_carriers_take_clicks() {
    const UnitSettingsMap rig = three_tone_rig();
    BandView view;
    view.resize(1200, 300);
    view.set_units(lanes(rig));
    view.set_coordination({}, coord::analyse(scenario_from(rig, {})));
    const BandLayout l = view.layout();
    const QString expected = QStringLiteral(
        "im3 3-tone 482.350 MHz from 480.100 + 485.000 − 482.750 hits SIM0003 channel 1");

    // Rings are part of what the products toggle shows.
    QVERIFY(view.tooltip_at(centre(l, 3, 482350)).startsWith(QStringLiteral("SIM0003 channel 1")));
    QSignalSpy toggled(&view, &BandView::show_products_changed);
    view.setProperty("showProducts", true);
    QCOMPARE(toggled.count(), 1);

    // Only a ring at SIM0003's carrier gives this text there.
    QVERIFY(view.tooltip_at(centre(view.layout(), 3, 482350)).split('\n').contains(expected));
    // The tooltip event shows the same text.
    view.show();
    QHelpEvent help(QEvent::ToolTip, centre(view.layout(), 3, 482350).toPoint(),
                    view.mapToGlobal(centre(view.layout(), 3, 482350).toPoint()));
    QApplication::sendEvent(&view, &help);
    QVERIFY(QToolTip::text().contains(expected));
    // a + b = c + d: each of the four is hit by the product of the other three, once.
    const auto& marks = view.marks();
    QCOMPARE(marks.size(), std::size_t{4});
    for (const auto& m : marks) QCOMPARE(m.conflicts.size(), std::size_t{1});
    QVERIFY(!view.products().empty());
    // A product tick in the last lane tells its formula.
    const auto& product = view.products().front();
    const QString formula = view.tooltip_at(
        centre(view.layout(), 4, static_cast<std::uint32_t>(product.frequency_khz)));
    QVERIFY2(formula.startsWith(QStringLiteral("im3 3-tone")), qPrintable(formula));

    // A ring draws over the lane where it is.
    QImage with(view.size(), QImage::Format_ARGB32);
    view.render(&with);
    view.set_show_products(false);
    QImage without(view.size(), QImage::Format_ARGB32);
    view.render(&without);
    const QPoint edge = (centre(view.layout(), 3, 482350) + QPointF(0, -6)).toPoint();
    QVERIFY(with.pixelColor(edge) != without.pixelColor(edge));

    // A click on a carrier names its unit and channel; the enabled channel wins over the
    // disabled one drawn on the same place.
    UnitSettingsMap more = rig;
    more["SIM0002"].channels.push_back({490000, false, false, true});
    more["SIM0002"].channels.push_back({490000, false, false, false});
    view.set_units(lanes(more));
    QSignalSpy clicked(&view, &BandView::carrier_clicked);
    QTest::mouseClick(&view, Qt::LeftButton, {},
                      (centre(view.layout(), 2, 490000) + QPointF(2, 0)).toPoint());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked[0][0].toString(), QStringLiteral("SIM0002"));
    QCOMPARE(clicked[0][1].toInt(), 2);
    QTest::mouseClick(&view, Qt::LeftButton, {}, centre(view.layout(), 2, 495000).toPoint());
    QTest::mouseClick(&view, Qt::RightButton, {}, centre(view.layout(), 2, 490000).toPoint());
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPointF(view.layout().x_of(490000), 2).toPoint());
    QCOMPARE(clicked.count(), 1);
  }

  void exclusions_scan_and_other_carriers_are_drawn() {
    const UnitSettingsMap rig{{"SIM0001", unit({480000})}};
    CoordinationFields fields;
    fields.exclusions = {{486000, 488000, "TV 21", false}};
    fields.scan = {{492000, -50.0}, {492005, -100.0}, {470000, -110.0}};
    fields.other_carriers = {{480100, "intercom"}};
    const auto analysis = coord::analyse(scenario_from(rig, fields));
    // A carrier of another system that is hit rings in its own lane below the units.
    const auto marks = conflict_marks(lanes(rig), analysis);
    QCOMPARE(marks.size(), std::size_t{2});
    QCOMPARE(marks[0].lane, std::size_t{0});
    QCOMPARE(marks[1].lane, std::size_t{1});
    QCOMPARE(marks[1].khz, 480100u);
    // A unit the analysis knows but the band does not list draws no ring.
    QCOMPARE(conflict_marks({}, analysis).size(), std::size_t{1});

    BandView view;
    view.resize(900, 200);
    view.set_units(lanes(rig));
    QImage before(view.size(), QImage::Format_ARGB32);
    view.render(&before);
    view.set_coordination(fields, analysis);
    QVERIFY(view.tooltip_at(centre(view.layout(), 1, 480100)).contains("intercom"));
    QImage after(view.size(), QImage::Format_ARGB32);
    view.render(&after);
    const BandLayout l = view.layout();
    const QPoint shaded(static_cast<int>(l.x_of(487000)), l.lanes_top + 2);
    QVERIFY(before.pixelColor(shaded) != after.pixelColor(shaded));
    QCOMPARE(view.tooltip_at(shaded), QStringLiteral("exclusion 486.000-488.000 MHz TV 21"));
    QVERIFY(view.tooltip_at(QPointF(l.x_of(492000), l.lanes_top + 2)).startsWith("scan"));
  }

  void panel_counts_and_lists_conflicts() {
    CoordinationPanel panel;
    QSignalSpy analysed(&panel, &CoordinationPanel::analysed);
    QSignalSpy edited(&panel, &CoordinationPanel::fields_edited);
    auto* count = child<QLabel>(panel, "conflict_count");
    QCOMPARE(count->text(), QStringLiteral("No conflicts"));

    UnitSettingsMap units{{"A", unit({480000})}, {"B", unit({482000})}};
    panel.set_units(units);
    QCOMPARE(count->text(), QStringLiteral("No conflicts"));
    units["B"].channels[0].frequency = 480200;  // 200 kHz: too close both ways
    panel.set_units(units);
    QCOMPARE(count->text(), QStringLiteral("2 conflicts"));
    QCOMPARE(analysed.last()[1].value<coord::Analysis>().conflicts.size(), std::size_t{2});
    QCOMPARE(edited.count(), 0);

    // Switching the spacing rule off is an edit of the show and clears the count.
    child<QSpinBox>(panel, "carrier_spacing")->setValue(0);
    QCOMPARE(count->text(), QStringLiteral("No conflicts"));
    QCOMPARE(edited.count(), 1);
    QCOMPARE(panel.profile().carrier_spacing_khz, 0u);
    QCOMPARE(CoordinationPanel::conflict_count_text(1), QStringLiteral("1 conflict"));
    QCOMPARE(CoordinationPanel::conflict_count_text(coord::MAX_CONFLICTS, false),
             QStringLiteral("Over 10000 conflicts"));

    // The list reads and selects what a ring says.
    QSignalSpy activated(&panel, &CoordinationPanel::conflict_activated);
    child<QSpinBox>(panel, "carrier_spacing")->setValue(300);
    panel.set_units(three_tone_rig());
    auto* list = child<QListWidget>(panel, "conflict_list");
    QCOMPARE(list->count(), 4);
    const auto found = list->findItems(
        QStringLiteral(
            "im3 3-tone 482.350 MHz from 480.100 + 485.000 − 482.750 hits SIM0003 channel 1"),
        Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    list->setFocus();
    list->setCurrentItem(found[0]);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated[0][0].toString(), QStringLiteral("SIM0003"));
    QCOMPARE(activated[0][1].toInt(), 1);

    // A crowded band lists the first ones and says how many more there are.
    UnitSettingsMap crowd;
    for (std::uint32_t i = 0; i < 30; ++i) crowd["U" + std::to_string(i)] = unit({480000 + i * 25});
    panel.set_units(crowd);
    QCOMPARE(list->count(), static_cast<int>(CoordinationPanel::MAX_LISTED) + 1);
    QVERIFY(list->item(list->count() - 1)->text().startsWith("and "));
  }

  void panel_round_trips_show_fields_and_takes_user_entries() {
    frontend::Show show;
    show.profile = {250, 0, 40, 20};
    show.exclusions = {{470000, 478000, "TV 21", false}};
    show.other_carriers = {{490500, "intercom"}};
    show.units = {{"A", true, {}}, {"B", false, {}}};
    CoordinationPanel panel;
    panel.set_units({{"A", unit({480000})}, {"B", unit({484000})}});
    panel.load_show(show);
    frontend::Show back;
    back.units = {{"B", true, {}}, {"A", false, {}}, {"C", true, {}}};
    panel.store_in(back);
    QCOMPARE(back.profile, show.profile);
    QCOMPARE(back.exclusions, show.exclusions);
    QCOMPARE(back.other_carriers, show.other_carriers);
    QVERIFY(!back.units[0].locked && back.units[1].locked && !back.units[2].locked);
    QCOMPARE(child<QSpinBox>(panel, "im3_3tone")->value(), 40);
    QCOMPARE(child<QTableWidget>(panel, "exclusions")->item(0, 2)->text(), QStringLiteral("TV 21"));

    // A TV channel entered by its edges, and an inverted range that is not offered.
    child<QDoubleSpinBox>(panel, "exclusion_from")->setValue(606.0);
    child<QDoubleSpinBox>(panel, "exclusion_to")->setValue(598.0);
    auto* add = child<QPushButton>(panel, "add_exclusion");
    QVERIFY(!add->isEnabled());
    child<QDoubleSpinBox>(panel, "exclusion_to")->setValue(614.0);
    child<QLineEdit>(panel, "exclusion_note")->setText(" TV 38 ");
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(panel.exclusions().back(), (coord::Exclusion{606000, 614000, "TV 38", false}));
    auto* table = child<QTableWidget>(panel, "exclusions");
    table->selectRow(0);
    QTest::mouseClick(child<QPushButton>(panel, "remove_exclusion"), Qt::LeftButton);
    QCOMPARE(panel.exclusions(), (std::vector<coord::Exclusion>{{606000, 614000, "TV 38", false}}));

    child<QDoubleSpinBox>(panel, "other_frequency")->setValue(480.1);
    QTest::mouseClick(child<QPushButton>(panel, "add_other_carrier"), Qt::LeftButton);
    QCOMPARE(panel.other_carriers().back().frequency_khz, 480100u);
    // 480.100 is 100 kHz from A's carrier, so the check sees it at once.
    QVERIFY(panel.analysis().conflicts.size() > 0);

    auto* locks = child<QListWidget>(panel, "locked_units");
    QCOMPARE(locks->count(), 2);
    locks->item(1)->setCheckState(Qt::Checked);
    locks->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(panel.locked(), (std::set<std::string>{"B"}));
    QCOMPARE(panel.scenario().units[1].locked, true);

    panel.set_locked({"A"});
    panel.set_exclusions({});
    panel.set_other_carriers({});
    QCOMPARE(locks->item(0)->checkState(), Qt::Checked);
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(panel.analysis().conflicts.empty());

    QSignalSpy coordinate(&panel, &CoordinationPanel::coordinate_requested);
    QTest::mouseClick(child<QPushButton>(panel, "coordinate"), Qt::LeftButton);
    QCOMPARE(coordinate.count(), 1);
  }

  void every_panel_control_is_named_and_reachable_by_keyboard() {
    CoordinationPanel panel;
    const auto labels = panel.findChildren<QLabel*>();
    for (QWidget* w : panel.findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(w) ||
                           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QAbstractItemView*>(w);
      if (!control) continue;
      // Skip the parts Qt builds inside composite widgets (a spin box's line edit, headers).
      bool inner = false;
      for (QWidget* up = w->parentWidget(); up != &panel && up != nullptr;
           up = up->parentWidget()) {
        inner =
            inner || qobject_cast<QAbstractSpinBox*>(up) || qobject_cast<QAbstractItemView*>(up);
      }
      if (inner) continue;
      QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
      QVERIFY2(w->focusPolicy() & Qt::TabFocus, qPrintable(w->objectName()));
      const auto* b = qobject_cast<QAbstractButton*>(w);
      const bool mnemonic = (b != nullptr && b->text().contains('&')) ||
                            std::any_of(labels.begin(), labels.end(), [&](const QLabel* l) {
                              return l->buddy() == w && l->text().contains('&');
                            });
      QVERIFY2(mnemonic, qPrintable(w->objectName()));
    }
  }

  void band_and_text_colours_stay_readable_in_both_themes() {
    for (const QPalette& palette : {QPalette(QColor(0xef, 0xef, 0xef)), dark_palette()}) {
      const Theme t = theme_for(palette);
      for (auto role : {QPalette::Base, QPalette::Window}) {
        const QColor bg = palette.color(role);
        for (const QColor& text : {t.problem, t.ok, t.writing}) {
          QVERIFY2(contrast_ratio(text, bg) >= 4.5, qPrintable(text.name() + " on " + bg.name()));
        }
        // Marks are not text; they need 3:1 to be told from the background.
        for (const QColor& mark : {t.enabled, t.shared, t.problem, t.product, t.scan_trace}) {
          QVERIFY2(contrast_ratio(mark, bg) >= 3, qPrintable(mark.name() + " on " + bg.name()));
        }
      }
      QVERIFY(contrast_ratio(t.warn_text, t.warn_background) >= 4.5);
      QVERIFY(contrast_ratio(t.error_text, t.error_background) >= 4.5);
    }
    QVERIFY(is_dark(dark_palette()));
    QCOMPARE(contrast_ratio(Qt::black, Qt::white), 21.0);
  }

  void unticked_lock_boxes_show_on_a_dark_palette() {
    FocusMarkStyle style(QStyleFactory::create(QStringLiteral("Fusion")));
    QListWidget list;
    list.setStyle(&style);
    list.setPalette(dark_palette());
    list.resize(200, 60);
    auto* item = new QListWidgetItem(QStringLiteral("SIM0001"), &list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    QImage image(list.size(), QImage::Format_ARGB32);
    list.render(&image);
    // The box sits left of the text in the first row; some pixel of it must stand out.
    const QRect row = list.visualItemRect(item).translated(list.viewport()->pos());
    const QColor base = dark_palette().color(QPalette::Base);
    double best = 1;
    for (int x = row.left(); x < row.left() + 24; ++x) {
      for (int y = row.top(); y <= row.bottom(); ++y) {
        best = std::max(best, contrast_ratio(image.pixelColor(x, y), base));
      }
    }
    QVERIFY2(best >= 3, qPrintable(QString::number(best)));
  }
};

QTEST_MAIN(CoordinationViewTest)
#include "coordination_view_test.moc"
