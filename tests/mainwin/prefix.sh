# Shared by the main-window test and the demo (sourced, not run), after tests/wine-prefix.sh
# made the prefix: Velmora installed and registered in it, and a harmless demo hijack seeded.
#   vlmr_install DIST-DIR BIN-DIR        copy the program, its libraries and the helpers; register
#   vlmr_seed_hijack                     a Start Page and a Browser Helper Object without a maker
#   vlmr_tab_state                       the log's tab-state lines

vlmr_install() {
  local dist=$1 bin=$2 f
  mkdir -p "$drive/Velmora" "$drive/vlmrdemo"
  for f in Velmora.exe Tessel.dll VLMRCustom.dll; do
    if [ -f "$dist/$f" ]; then cp "$dist/$f" "$drive/Velmora/"; fi
  done
  cp "$bin/vlm_uidriver.exe" "$bin/vlmcyclebho.dll" "$drive/vlmrdemo/"
  # The two COM libraries, as a user registers them.
  for f in Tessel.dll VLMRCustom.dll; do
    if [ -f "$drive/Velmora/$f" ]; then w regsvr32 /s "C:\\Velmora\\$f" >/dev/null 2>&1 || echo "regsvr32 $f failed"; fi
  done
  return 0
}

vlmr_clsid='{5B0E7C1A-3D2F-4E8B-9A61-0C4D2E7F1A93}'
vlmr_seed_hijack() {
  local bhokey='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects'
  {
    w reg add "$bhokey\\$vlmr_clsid" /ve /d "Demo Helper" /f
    w reg add "HKCR\\CLSID\\$vlmr_clsid\\InProcServer32" /ve /d 'C:\vlmrdemo\vlmcyclebho.dll' /f
    w reg add 'HKCU\Software\Microsoft\Internet Explorer\Main' /v "Start Page" /d "http://hijack.example/start" /f
  } >/dev/null 2>&1
}

# The tab-state lines of the log, without their time stamps.
vlmr_tab_state() { grep -a 'FMain.LogTabState' "$drive/Velmora/VLMR.log" | cut -f5- | tr -d '\r'; }
