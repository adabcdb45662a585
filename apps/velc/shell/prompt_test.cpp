#include "shell/prompt.h"

#include <gtest/gtest.h>

namespace {

TEST(Prompt, ShowsUserAndPositionInTheColourOfTheUsersAccess) {
  Session session;
  cdpath position;
  position.text = "Device.DeviceInfo";
  k::ColourTable colours;
  EXPECT_EQ(prompt_text(session, position), "velc:Device.DeviceInfo> ");
  EXPECT_EQ(&prompt_colour(session, colours), &colours.entries[k::kColourPrompt]);

  session.user = "admin";
  session.system_access = true;
  position.text.clear();
  EXPECT_EQ(prompt_text(session, position), "admin@velc:> ");
  EXPECT_EQ(&prompt_colour(session, colours), &colours.entries[k::kColourRootPrompt]);

  EXPECT_EQ(prompt_text(session, position, prompt_tag("record")), "admin@velc-record:> ");

  position.text = std::string(400, 'p');  // cut to 383 bytes
  EXPECT_EQ(prompt_text(session, position), "admin@velc:" + std::string(372, 'p'));
}

// A tag is "-" and the name, cut to 15 bytes.
TEST(Prompt, TagsAreCut) { EXPECT_EQ(prompt_tag("abcdefghijklmnopq"), "-abcdefghijklmn"); }

}  // namespace
