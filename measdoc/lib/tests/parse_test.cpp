#include <gtest/gtest.h>
#include "parse_env.h"

namespace {

const char* worked_example = R"(<?xml version="1.0"?>
<mdc>
  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh>
  <md>
    <neid><nedn>SubNetwork=1,ManagedElement=1</nedn></neid>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>900</gp><mt>attA</mt><mt>attB</mt>
      <mv><moid>ManagedElement=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf></mv>
    </mi>
  </md>
  <mff><ts>20050301141500.0+0100</ts></mff>
</mdc>
)";

TEST(WorkedExample, Smoke) {
    converter_cycle cycle;
    conversion c = cycle.run(worked_example);
    EXPECT_TRUE(c.ok) << c.error;
    std::cout << c.dump << c.error << "\n";
    for (auto& w : c.warnings) std::cout << "W " << w << "\n";
}

}  // namespace
