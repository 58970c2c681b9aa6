#!/usr/bin/env bash
# The message-box and dialog flow at 200%.
DESKTOP_SCALE=2 exec bash "$(dirname "$0")/message_box_flow.sh"
