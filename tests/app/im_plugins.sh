#!/bin/sh
# Japanese is typed through the input method's platform input context plugin:
# for each input method the set-up installs, the application must load its
# plugin when QT_IM_MODULE names it. Qt's plugin log (QT_DEBUG_PLUGINS) says
# which library it loaded.
# Usage: im_plugins.sh PROBE
set -u
PROBE="$1"
status=0
for pair in fcitx:libfcitx5platforminputcontextplugin.so ibus:libibusplatforminputcontextplugin.so; do
    module=${pair%%:*}
    library=${pair#*:}
    log=$(QT_QPA_PLATFORM=offscreen QT_IM_MODULE=$module QT_DEBUG_PLUGINS=1 \
        timeout 30 "$PROBE" 2>&1)
    rc=$?
    if [ $rc -ne 0 ]; then
        echo "im_plugins: $module: the probe ended with status $rc" >&2
        echo "$log" | tail -20 >&2
        status=1
    elif echo "$log" | grep -q "platforminputcontexts/$library\" loaded library"; then
        echo "im_plugins: $module: $library loaded"
    else
        echo "im_plugins: $module: $library was not loaded" >&2
        echo "$log" | grep -i inputcontext >&2
        status=1
    fi
done
exit $status
