#include "link/port_list.h"

#include <gtest/gtest.h>

namespace kline {
namespace {

TEST(PortListTest, LabelsNameTheAdapterAndGiveBackTheFieldText) {
  struct Case {
    std::string field, description, manufacturer, label;
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", "USB serial adapter", "FTDI", "/dev/ttyUSB0 - USB serial adapter (FTDI)"},
      {"/dev/ttyACM0", "", "Prolific", "/dev/ttyACM0 - Prolific"},
      {"3", "Communications Port", "(Standard port types)",
       "3 - Communications Port ((Standard port types))"},
      {"/dev/ttyUSB1", "FT232R USB UART", "FT232R", "/dev/ttyUSB1 - FT232R USB UART"},
      {"/dev/ttyS0", "", "", "/dev/ttyS0 - serial port"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortLabel(c.field, c.description, c.manufacturer), c.label);
    EXPECT_EQ(PortFieldFromLabel(c.label), c.field);
  }
  EXPECT_EQ(PortFieldFromLabel("/dev/pts/4"), "/dev/pts/4");
}

}  // namespace
}  // namespace kline
