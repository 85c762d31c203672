#include "ui_settings.hpp"

#include <gtest/gtest.h>

#include "option_names.hpp"
#include "settings/payload.hpp"
#include "ui_fields.hpp"

namespace owl {
namespace {

// A form merged for writing takes the fields the unit keeps from the unit, the rest from the form.
TEST(UiSettingsKeptFields, AsWrittenTakesKeptFieldsFromTheUnit) {
  UiSettings unit;
  unit.unit_name = "UNIT";
  unit.charge = "SLOW";
  unit.serial = 7;
  UiSettings form;
  form.unit_name = "NEW";
  form.charge = "FAST";
  form.delay_ms = 40;
  const UiSettings kept = as_written(form, unit, true, false);
  EXPECT_EQ(kept.unit_name, "UNIT");
  EXPECT_EQ(kept.charge, "FAST");
  EXPECT_EQ(kept.serial, 7u);
  EXPECT_EQ(kept.delay_ms, 40);
}

TEST(UiSettingsFromUi, PositionsAndShownFieldsFromTheRecord) {
  // Channel numbers become positions; the fields only shown are taken from the record.
  UnitSettings base = example_unit_settings();
  base.unitSerialNum = 1002;
  base.channels[0].channelNumber = 9;
  UiSettings form = settings_to_ui(base);
  form.serial = 1;
  form.min_freq = 2;
  form.max_freq = 3;
  auto back = settings_from_ui(form, base);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->channels[0].channelNumber, 1);
  EXPECT_EQ(back->unitSerialNum, 1002u);
  EXPECT_EQ(back->minFreq, 192000u);
  EXPECT_EQ(back->maxFreq, 229975u);
}

TEST(UiSettingsText, EnumerationsEncryptionAndUnrecognisedCodes) {
  UnitSettings s = example_unit_settings();
  s.hphMode = HphMode::from_code(200);
  s.squelch = SquelchLevel::from_code(39);
  s.encryption = 0xABC;
  UiSettings ui = settings_to_ui(s);
  EXPECT_EQ(ui.hph_mode, "200");
  EXPECT_EQ(ui.squelch, "39");
  EXPECT_EQ(ui.encryption, "000ABC");
  EXPECT_EQ(ui.voice_prompts, "CENTER");
  s.encryption = 0x1234567;
  EXPECT_EQ(settings_to_ui(s).encryption, "1234567");
  // An unrecognised squelch level is written back as that level.
  UiSettings form = settings_to_ui(example_unit_settings());
  form.squelch = "39";
  auto back = settings_from_ui(form, example_unit_settings());
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(settings_to_ui(*back).squelch, "39");
  EXPECT_EQ(encode_settings(*back)[49], 39);
}

TEST(UiSettingsParse, NamesAndNumbers) {
  EXPECT_EQ(parse_enum_text<HphMode>("balanced"), HphMode::BALANCED);
  EXPECT_EQ(parse_enum_text<HphMode>("Stereo"), HphMode::STEREO);
  EXPECT_EQ(parse_enum_text<LedMode>("2"), LedMode::DIM);
  EXPECT_EQ(parse_enum_text<LedMode>("3"), LedMode::from_code(3));
  EXPECT_TRUE(parse_enum_text<LedMode>("3")->is_unrecognised());
  EXPECT_EQ(parse_enum_text<LedMode>("+3"), LedMode::from_code(3));
  EXPECT_EQ(parse_enum_text<LedMode>("255"), LedMode::from_code(255));
  for (const char* bad :
       {"256", "-1", "+", "", " 1", "1 ", "balanced ", "0x1", "99999999999", "dim~"}) {
    EXPECT_FALSE(parse_enum_text<LedMode>(bad).has_value()) << bad;
  }
  EXPECT_EQ(parse_enum_text<SquelchLevel>("40"), SquelchLevel::MED);
  EXPECT_EQ(parse_enum_text<SquelchLevel>("10"), SquelchLevel::HIGH);
  EXPECT_EQ(parse_enum_text<SquelchLevel>("80"), SquelchLevel::LOW);
  EXPECT_TRUE(parse_enum_text<SquelchLevel>("39")->is_unrecognised());
  EXPECT_TRUE(parse_enum_text<SquelchLevel>("0")->is_unrecognised());
  EXPECT_EQ(parse_enum_text<SquelchLevel>("low"), SquelchLevel::LOW);
}

TEST(UiSettingsErrors, EveryFieldsTextAndTheFirstFailureWins) {
  const UnitSettings base = example_unit_settings();
  const UiSettings good = settings_to_ui(base);
  struct Case {
    std::string UiSettings::*field;
    std::string text;
  };
  const Case cases[] = {
      {&UiSettings::voice_prompts, "voice prompts has an invalid value: "},
      {&UiSettings::hph_mode, "headphone mode has an invalid value: "},
      {&UiSettings::led, "LED has an invalid value: "},
      {&UiSettings::charge, "charge has an invalid value: "},
      {&UiSettings::squelch, "squelch has an invalid value: "},
      {&UiSettings::ab_button, "A/B button has an invalid value: "},
      {&UiSettings::star_button, "* button has an invalid value: "},
      {&UiSettings::rf_mode, "RF mode has an invalid value: "},
      {&UiSettings::compander, "compander has an invalid value: "},
      {&UiSettings::battery_type, "battery type has an invalid value: "},
      {&UiSettings::audio_eq, "bass boost has an invalid value: "},
  };
  for (const Case& c : cases) {
    UiSettings form = good;
    form.*(c.field) = "Bogus ";
    auto result = settings_from_ui(form, base);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.text + "Bogus ");
  }
  UiSettings form = good;
  form.hph_mode = "balanced ";
  EXPECT_EQ(settings_from_ui(form, base).error(), "headphone mode has an invalid value: balanced ");

  for (const char* bad : {"ABCD", "ABCDEF01", "00G000", "00g000", "", "+12345", "12 345"}) {
    form = good;
    form.encryption = bad;
    EXPECT_EQ(settings_from_ui(form, base).error(), "encryption must be exactly 6 hex digits")
        << bad;
  }
  form = good;
  form.encryption = "00beef";
  EXPECT_EQ(settings_from_ui(form, base).value().encryption, 0xBEEFu);

  // Fields are converted in a fixed order: LED before encryption, encryption before bass boost.
  form = good;
  form.led = "x";
  form.encryption = "x";
  EXPECT_EQ(settings_from_ui(form, base).error(), "LED has an invalid value: x");
  form = good;
  form.audio_eq = "x";
  form.encryption = "x";
  EXPECT_EQ(settings_from_ui(form, base).error(), "encryption must be exactly 6 hex digits");
  form = good;
  form.battery_type = "";
  form.voice_prompts = "?";
  EXPECT_EQ(settings_from_ui(form, base).error(), "voice prompts has an invalid value: ?");
}

TEST(UiSettingsExample, FixedRecordAndOptionLists) {
  const UiSettings ex = settings_to_ui(example_unit_settings());
  EXPECT_EQ(ex.unit_name, "");
  EXPECT_EQ(ex.encryption, "000000");
  EXPECT_EQ(ex.squelch, "LOW");
  EXPECT_EQ(ex.audio_eq, "BOOST_LOW");
  EXPECT_EQ(ex.rf_mode, "DIGITAL");
  EXPECT_EQ(ex.battery_type, "NIMH");
  EXPECT_TRUE(ex.boot_announce);
  EXPECT_TRUE(ex.gain_boost);
  EXPECT_EQ(ex.min_freq, 192000u);
  EXPECT_EQ(ex.max_freq, 229975u);
  ASSERT_EQ(ex.channels.size(), 10u);
  EXPECT_EQ(ex.channels[2], (UiChannel{216975, false, false, false}));
  EXPECT_EQ(ex.channels[7], (UiChannel{207000, false, false, true}));
  EXPECT_EQ(ex.channels[9], (UiChannel{216900, false, false, true}));

  // The front ends' tests go by the same names.
  EXPECT_EQ(make_enum_options(), testing_support::engine_option_names());
}

}  // namespace
}  // namespace owl
