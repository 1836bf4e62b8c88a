#!/bin/busybox sh
# /init of the test VM: mounts the kernel's file systems, loads the HID modules, lets the group
# 1000 use /dev/uhid (as a udev rule would on a desktop), runs the checks and powers off. The
# host reads the result from the serial console.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
echo "VIRELO_VM_BOOTED kernel $(uname -r)"
while read -r module; do
  insmod "/modules/$module" || echo "insmod $module failed"
done < /modules/order
chgrp 1000 /dev/uhid
chmod 0660 /dev/uhid
ls -l /dev/uhid
if [ -x /bin/virelo ]; then
  /bin/uhid_vm_check /bin/virelo-service /bin/virelo
else
  /bin/uhid_vm_check /bin/virelo-service
fi
echo "VIRELO_VM_CHECK_EXIT=$?"
sync
poweroff -f
