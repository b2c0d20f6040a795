"""The phone remote in a real browser: headless Chromium on a 360-px-wide
phone screen opens the page tonewarp-live serves on the demo input, pairs,
taps F3 (tonewarp-live reports the preset), switches a row off, moves a
slider (the bar's position and unit text follow), sees the tuner name a
note, and sees "connection lost, retrying" when the program goes away.

Usage: remote_browser_test.py TONEWARP_LIVE [SCREENSHOT.png]"""
import re
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.support.ui import WebDriverWait

from live_remote import LiveRemote


def browser():
    o = webdriver.ChromeOptions()
    o.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        o.add_argument(a)
    o.add_experimental_option("mobileEmulation", {
        "deviceMetrics": {"width": 360, "height": 760, "pixelRatio": 2.0},
        "userAgent": "Mozilla/5.0 (Linux; Android 13) Mobile"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)


def main():
    live = LiveRemote(sys.argv[1], seconds=90)
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    d = browser()
    wait = WebDriverWait(d, 10, poll_frequency=0.05)
    stopped = False
    try:
        d.get(live.url)
        width = d.execute_script("return document.documentElement.clientWidth")
        assert width == 360, width
        # A wrong code first: refused, still on the pairing form.
        d.find_element(By.ID, "code").send_keys("0" if live.code[0] != "0" else "1")
        d.find_element(By.ID, "pair").click()
        wait.until(lambda _: "Wrong pairing code" in d.find_element(By.ID, "message").text)
        code = d.find_element(By.ID, "code")
        code.clear()
        code.send_keys(live.code)
        d.find_element(By.ID, "pair").click()
        wait.until(lambda _: "paired" in d.find_element(By.TAG_NAME, "body").get_attribute("class"))

        # F3: tonewarp-live loads it; the page names it.
        key3 = d.find_element(By.ID, "key3")
        assert key3.size["height"] >= 48 and key3.size["width"] >= 60, key3.size
        key3.click()
        line = live.wait_line(r"remote: F3 -> ")
        name = line.split("-> ", 1)[1]
        wait.until(lambda _: d.find_element(By.ID, "preset").text == name)
        assert "current" in key3.get_attribute("class")

        # The first row that is on: switch it off.
        rows = d.find_elements(By.CSS_SELECTOR, "#rows .row")
        on_rows = [r for r in rows if "on" in r.find_element(By.CLASS_NAME, "switch").get_attribute("class").split()]
        assert on_rows, "F3 turned no row on"
        first_on = on_rows[0]
        n = int(first_on.get_attribute("id")[3:])
        first_on.find_element(By.CLASS_NAME, "switch").click()
        live.wait_line(r"remote: row %d off" % n)
        wait.until(lambda _: first_on.find_element(By.CLASS_NAME, "switch").text == "Off")

        # Tap a row with a bar: its controls open; drag the first slider.
        slider = None
        for r in on_rows[1:] + on_rows[:1]:
            r.find_element(By.CLASS_NAME, "kind").click()
            rn = r.get_attribute("id")[3:]
            wait.until(lambda _: d.find_element(By.ID, "controls").get_attribute("data-key", ) and
                       d.find_element(By.ID, "controls").get_attribute("data-key").startswith(rn + ":"))
            sliders = d.find_elements(By.CSS_SELECTOR, "#controls input[type=range]")
            if sliders:
                slider = sliders[0]
                break
        assert slider is not None, "no row with a bar"
        control = slider.find_element(By.XPATH, "..")
        unit = control.find_element(By.CLASS_NAME, "unit")
        caption = control.find_element(By.CLASS_NAME, "caption").text
        assert caption, "the bar has no caption"
        before_value, before_unit = slider.get_attribute("value"), unit.text
        lo, hi = int(slider.get_attribute("min")), int(slider.get_attribute("max"))
        w = slider.size["width"]
        ActionChains(d).click_and_hold(slider).move_by_offset(-w // 2 + 4, 0).move_by_offset(w // 5, 0).release().perform()
        wait.until(lambda _: slider.get_attribute("value") != before_value)
        moved = int(slider.get_attribute("value"))
        assert lo <= moved <= hi
        # The program's bar now stands there: the state it sends carries it back.
        wait.until(lambda _: unit.text != before_unit)
        state_value = d.execute_script(
            "return state.open.controls.find(c => c.name === arguments[0]).value", control.get_attribute("data-name"))
        assert state_value == moved, (state_value, moved)
        print("slider %r moved %s -> %d (%s -> %s)" % (caption, before_value, moved, before_unit, unit.text))

        # The tuner names a note of the demo guitar; the meters run.
        wait.until(lambda _: re.fullmatch(r"[A-G]#?\d", d.find_element(By.ID, "tuner-note").text))
        if shot:
            d.execute_script("window.scrollTo(0, 0)")
            d.save_screenshot(shot)
        print("tuner: %s %s" % (d.find_element(By.ID, "tuner-note").text, d.find_element(By.ID, "tuner-cents").text))
        m0 = int(d.find_element(By.TAG_NAME, "body").get_attribute("data-meters"))
        time.sleep(1.0)
        m1 = int(d.find_element(By.TAG_NAME, "body").get_attribute("data-meters"))
        assert m1 - m0 >= 10, (m0, m1)
        assert not d.find_element(By.ID, "conn").is_displayed()
        assert live.alive()
        # The program goes away: the page says so and keeps trying.
        code = live.stop()
        stopped = True
        assert code == 0, live.output()
        wait.until(lambda _: d.find_element(By.ID, "conn").is_displayed())
        assert d.find_element(By.ID, "conn").text == "connection lost, retrying"
    finally:
        d.quit()
        if not stopped:
            live.stop()
    x = live.xruns()
    assert x == 0, "xruns %r" % x
    print("remote browser: all passed")


if __name__ == "__main__":
    main()
