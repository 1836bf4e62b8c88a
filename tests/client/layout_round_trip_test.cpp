// Text typed with a layout through the real service reaches the simulated host as keyboard
// reports; libxkbcommon, given the same layout, turns those reports back into the same text.
#include <gtest/gtest.h>

#include "tests/client/xkb_text_decoder.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

TEST(LayoutRoundTrip, TextTypedWithALayoutDecodesToTheSameText) {
  struct Case {
    const char* layout;
    const char* text;
  };
  // Shifted symbols, AltGr characters, dead-key compositions, digits, spaces, newlines, tabs.
  const Case cases[] = {
      {"us", "Hello, World! 1+2=3 (a_b) {x|y} ~`\"'<>?\n\tdone."},
      {"us(intl)", "Café naïve façade: 'quoted' \"double\" ~tilde^ `x` ê ã 42\n\tfin"},
      {"de", "Grüße, Jürgen! 3 € @home <tag> {x} [y] \\ | é ^ 1+1=2\n\t#ok"},
      {"fr(azerty)", "Où êtes-vous ? à 5 € près, l'été ; 1234567890 !\n\tfin"},
      {"gb", "£5 @home \"quoted\" #tag ~x | \\ € 42\n\tend"},
      {"es", "Año ñandú ~ @ # € ¿qué? ¡sí! ç 2024\n\tfin"},
      {"ru", "Привет, мир! Ёлка и ёж 123.\n\tконец"},
  };
  test::ServiceProcess service;
  service.awaitReady();
  test::HostTrace trace(service.tracePath());
  Client client(service.socketPath());
  client.hello(service.token());
  for (const Case& c : cases) {
    const LayoutName name = parseLayoutName(c.layout);
    const auto before = trace.reports("keyboard").size();
    typeText(client, c.text, *KeyboardLayout::named(name));
    auto reports = trace.reports("keyboard");
    reports.erase(reports.begin(), reports.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(decodeTypedText(name, reports), c.text) << c.layout;
  }
}

}  // namespace
}  // namespace virelo::client
