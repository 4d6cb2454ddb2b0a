# Sourced by the screenshot scripts: drives a Ventora window on an X display
# with key events only, as a user's keyboard would.

# The window's caption and its detection box's caption in the language (zh, en).
window_caption() { [ "$1" = en ] && echo 'Duct Air Velocity Transmitter 485 Setup' || echo '管道风速变送器485配置软件'; }
result_caption() { [ "$1" = en ] && echo 'Detection result' || echo '测试结果'; }

# detect_on_display LANGUAGE KEY_DELAY_MS TIMEOUT_S
# Waits for the window in LANGUAGE (zh, en), presses "测试波特率" ("Detect")
# and closes the result box; prints the window's id. The port list has the
# focus with COM1 chosen, and Tab moves to the button; closing the box gives
# the focus back to it.
detect_on_display() {
    local window box
    window=$(timeout "$3" xdotool search --sync --onlyvisible --name "^$(window_caption "$1")\$" | head -n 1)
    xdotool windowfocus --sync "$window"
    xdotool key --delay "$2" Tab Return
    box=$(timeout "$3" xdotool search --sync --onlyvisible --name "^$(result_caption "$1")\$" | head -n 1)
    xdotool windowfocus --sync "$box" key Return
    echo "$window"
}
