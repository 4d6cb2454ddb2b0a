# Sourced by the screenshot scripts: drives a Ventora window on an X display
# with key events only, as a user's keyboard would.

# detect_on_display CAPTION KEY_DELAY_MS TIMEOUT_S
# Waits for the window named CAPTION, presses "测试波特率" and closes the
# result box; prints the window's id. The port list has the focus with COM1
# chosen, and Tab moves to "测试波特率"; closing the box gives the focus back to it.
detect_on_display() {
    local window box
    window=$(timeout "$3" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    xdotool windowfocus --sync "$window"
    xdotool key --delay "$2" Tab Return
    box=$(timeout "$3" xdotool search --sync --onlyvisible --name '^测试结果$' | head -n 1)
    xdotool windowfocus --sync "$box" key Return
    echo "$window"
}
