// The event queue the SDL and headless hosts share: the order events, the quit and paints
// come in, and what the host does with an event its window's handler leaves.
#include <gtest/gtest.h>

#include <vector>

#include "host/common/event_queue.h"
#include "host/headless/headless.h"

namespace {

std::vector<HostEvent> handled;
bool consume = false;

bool record(const HostEvent& event) {
  handled.push_back(event);
  return consume;
}

class EventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_queue::reset();
    headless::reset_display();
    handled.clear();
    consume = false;
    HostWindowDesc desc;
    desc.handler = record;
    window = host_window_create(desc);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    host_window_destroy(window);
    host_queue::reset();
    headless::reset_display();
  }
  WindowHandle window = nullptr;
};

TEST_F(EventQueueTest, PostedEventsComeInOrderThenTheQuitThenPaints) {
  host_invalidate(window);
  host_post_quit(3);
  EXPECT_TRUE(host_post_event(window, HostEventType::escape));
  EXPECT_TRUE(host_post_event(window, HostEventType::moved, -5, 7));
  EXPECT_FALSE(host_post_event(nullptr, HostEventType::close_requested));

  HostEvent event;
  int code = -1;
  ASSERT_EQ(host_queue::try_get(&event, &code), 1);
  EXPECT_EQ(event.type, HostEventType::escape);
  ASSERT_EQ(host_queue::try_get(&event, &code), 1);
  EXPECT_EQ(event.type, HostEventType::moved);
  EXPECT_EQ(event.x, -5);
  EXPECT_EQ(event.y, 7);
  EXPECT_EQ(host_queue::try_get(&event, &code), 0);
  EXPECT_EQ(code, 3);
  // The paint repeats until the window is validated.
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(host_queue::try_get(&event), 1);
    EXPECT_EQ(event.type, HostEventType::paint);
    EXPECT_EQ(event.window, window);
  }
  host_validate(window);
  EXPECT_EQ(host_queue::try_get(&event), -1);
}

TEST_F(EventQueueTest, EventsOfADestroyedWindowAreDropped) {
  host_post_event(window, HostEventType::activated);
  host_window_destroy(window);
  HostEvent event;
  EXPECT_EQ(host_queue::try_get(&event), -1);
  EXPECT_FALSE(host_deliver_event(HostEvent{window, HostEventType::activated}));
  EXPECT_TRUE(handled.empty());
  window = nullptr;
}

TEST_F(EventQueueTest, TheHostsDefaultFollowsOnlyWhatTheHandlerLeaves) {
  // Left to the host: a paint validates, the pointer gets the arrow.
  host_set_cursor(false);
  host_invalidate(window);
  EXPECT_FALSE(host_deliver_event(HostEvent{window, HostEventType::paint}));
  EXPECT_FALSE(host_needs_paint(window));
  EXPECT_FALSE(host_deliver_event(HostEvent{window, HostEventType::pointer_over_window}));
  EXPECT_TRUE(headless::cursor_arrow());

  // Consumed: the host leaves the window as the handler left it.
  consume = true;
  host_set_cursor(false);
  host_invalidate(window);
  EXPECT_TRUE(host_deliver_event(HostEvent{window, HostEventType::paint}));
  EXPECT_TRUE(host_needs_paint(window));
  EXPECT_TRUE(host_deliver_event(HostEvent{window, HostEventType::pointer_over_window}));
  EXPECT_FALSE(headless::cursor_arrow());
  EXPECT_EQ(handled.size(), 4u);
}

TEST_F(EventQueueTest, PlacingAFramedWindowReportsTheClientAreaOnTheCallingThread) {
  ASSERT_TRUE(host_window_set_frame(window, HostFrame::framed));
  EXPECT_FALSE(host_window_set_frame(window, HostFrame::framed)) << "nothing changed";
  HostRect rect{100, 50, 100 + 320, 50 + 200};
  host_adjust_window_rect(&rect, HostFrame::framed);
  host_window_place(window, HostZOrder::top, 100, 50, rect.width(), rect.height(), 0);
  ASSERT_EQ(handled.size(), 2u);
  EXPECT_EQ(handled[0].type, HostEventType::moved);
  EXPECT_EQ(handled[0].x, 100 + headless::kFrameWidth);
  EXPECT_EQ(handled[0].y, 50 + headless::kFrameWidth + headless::kCaptionHeight);
  EXPECT_EQ(handled[1].type, HostEventType::resized);
  EXPECT_EQ(handled[1].x, 320);
  EXPECT_EQ(handled[1].y, 200);
  // Keeping position and size reports nothing unless the frame changed.
  handled.clear();
  host_window_place(window, HostZOrder::top, 0, 0, 0, 0,
                    host_place_keep_position | host_place_keep_size);
  EXPECT_TRUE(handled.empty());
}

}  // namespace
