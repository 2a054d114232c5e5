; Included in the installer's section: the Application log's source "Vellmor", with the
; installed vellmor-cli.exe as its message file, and with /SERVICE on the command line
; the service VellmorWatch, started automatically (off without it).
WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vellmor" \
  "EventMessageFile" "$INSTDIR\vellmor-cli.exe"
WriteRegDWORD HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vellmor" \
  "TypesSupported" 7
${GetParameters} $R0
ClearErrors
${GetOptions} $R0 "/SERVICE" $R1
IfErrors vellmor_no_service
  nsExec::Exec 'sc.exe create VellmorWatch binPath= "\"$INSTDIR\vellmor-cli.exe\" watch --log" start= auto DisplayName= "Vellmor watch"'
  Pop $R1
  nsExec::Exec 'sc.exe description VellmorWatch "Writes every USB drive plugged in to the Application log (source Vellmor)."'
  Pop $R1
  nsExec::Exec 'sc.exe start VellmorWatch'
  Pop $R1
vellmor_no_service:
