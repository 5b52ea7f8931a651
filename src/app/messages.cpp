#include "app/messages.h"
#include "app/messages_system.h"

#include <atomic>
#include <cstdio>

namespace {

// One row per message id, one column per language index. The texts are UTF-8; "\n" is a
// line break (message boxes only) and the placeholders match the English column.
const char* const kMessages[MESSAGE_COUNT][LANGUAGE_COUNT] = {
    // 0 MESSAGE_OPEN_INBOX
    {
        /* en */      "Open inbox folder",
        /* ja */      "受信フォルダを開く",
        /* zh-Hant */ "開啟收件資料夾",
        /* zh-Hans */ "打开收件文件夹",
        /* ko */      "받은 폴더 열기",
        /* fr */      "Ouvrir le dossier de réception",
        /* ru */      "Открыть папку входящих",
        /* es */      "Abrir carpeta de recibidos",
        /* de */      "Eingangsordner öffnen",
        /* pt */      "Abrir pasta de recebidos",
    },
    // 1 MESSAGE_ALLOWING
    {
        /* en */      "Allowing %s (%d min left)",
        /* ja */      "%s からの受信を許可中（残り%d分）",
        /* zh-Hant */ "已允許 %s 傳檔（剩 %d 分鐘）",
        /* zh-Hans */ "已允许 %s 传文件（剩 %d 分钟）",
        /* ko */      "%s의 전송 허용 중 (%d분 남음)",
        /* fr */      "Autorisé : %s (%d min restantes)",
        /* ru */      "Разрешено: %s (осталось %d мин)",
        /* es */      "Permitido: %s (quedan %d min)",
        /* de */      "Erlaubt: %s (noch %d Min.)",
        /* pt */      "Permitido: %s (restam %d min)",
    },
    // 2 MESSAGE_STOP_ALLOWING
    {
        /* en */      "Stop allowing (ask every time)",
        /* ja */      "許可を取り消す（毎回確認）",
        /* zh-Hant */ "取消允許（每次都詢問）",
        /* zh-Hans */ "取消允许（每次都询问）",
        /* ko */      "허용 취소(매번 확인)",
        /* fr */      "Révoquer l'autorisation (demander à chaque fois)",
        /* ru */      "Отменить разрешение (спрашивать каждый раз)",
        /* es */      "Revocar permiso (preguntar cada vez)",
        /* de */      "Erlaubnis widerrufen (jedes Mal fragen)",
        /* pt */      "Revogar permissão (perguntar sempre)",
    },
    // 3 MESSAGE_SETTINGS
    {
        /* en */      "Settings",
        /* ja */      "設定",
        /* zh-Hant */ "設定",
        /* zh-Hans */ "设置",
        /* ko */      "설정",
        /* fr */      "Paramètres",
        /* ru */      "Настройки",
        /* es */      "Ajustes",
        /* de */      "Einstellungen",
        /* pt */      "Configurações",
    },
    // 4 MESSAGE_CHANGE_INBOX
    {
        /* en */      "Change inbox folder...",
        /* ja */      "受信フォルダを変更...",
        /* zh-Hant */ "變更收件資料夾...",
        /* zh-Hans */ "更改收件文件夹...",
        /* ko */      "받은 폴더 변경...",
        /* fr */      "Changer le dossier de réception...",
        /* ru */      "Изменить папку входящих...",
        /* es */      "Cambiar carpeta de recibidos...",
        /* de */      "Eingangsordner ändern...",
        /* pt */      "Alterar pasta de recebidos...",
    },
    // 5 MESSAGE_START_WITH_WINDOWS
    {
        /* en */      "Start with Windows",
        /* ja */      "Windows の起動時に開始",
        /* zh-Hant */ "隨 Windows 啟動",
        /* zh-Hans */ "随 Windows 启动",
        /* ko */      "Windows 시작 시 실행",
        /* fr */      "Démarrer avec Windows",
        /* ru */      "Запускать вместе с Windows",
        /* es */      "Iniciar con Windows",
        /* de */      "Mit Windows starten",
        /* pt */      "Iniciar com o Windows",
    },
    // 6 MESSAGE_ABOUT_ITEM
    {
        /* en */      "About ferrylink",
        /* ja */      "ferrylink について",
        /* zh-Hant */ "關於 ferrylink",
        /* zh-Hans */ "关于 ferrylink",
        /* ko */      "ferrylink 정보",
        /* fr */      "À propos de ferrylink",
        /* ru */      "О программе ferrylink",
        /* es */      "Acerca de ferrylink",
        /* de */      "Über ferrylink",
        /* pt */      "Sobre o ferrylink",
    },
    // 7 MESSAGE_QUIT
    {
        /* en */      "Quit",
        /* ja */      "終了",
        /* zh-Hant */ "結束",
        /* zh-Hans */ "退出",
        /* ko */      "종료",
        /* fr */      "Quitter",
        /* ru */      "Выход",
        /* es */      "Salir",
        /* de */      "Beenden",
        /* pt */      "Sair",
    },
    // 8 MESSAGE_TIP_READY
    {
        /* en */      "ferrylink - ready",
        /* ja */      "ferrylink - 受信待機中",
        /* zh-Hant */ "ferrylink - 待命中",
        /* zh-Hans */ "ferrylink - 待命中",
        /* ko */      "ferrylink - 대기 중",
        /* fr */      "ferrylink - prêt",
        /* ru */      "ferrylink - готов",
        /* es */      "ferrylink - listo",
        /* de */      "ferrylink - bereit",
        /* pt */      "ferrylink - pronto",
    },
    // 9 MESSAGE_TIP_RECEIVING
    {
        /* en */      "Receiving from %s: %d%%",
        /* ja */      "%s から受信中: %d%%",
        /* zh-Hant */ "正在從 %s 接收：%d%%",
        /* zh-Hans */ "正在从 %s 接收：%d%%",
        /* ko */      "%s에서 수신 중: %d%%",
        /* fr */      "Réception de %s : %d%%",
        /* ru */      "Получение от %s: %d%%",
        /* es */      "Recibiendo de %s: %d%%",
        /* de */      "Empfange von %s: %d%%",
        /* pt */      "Recebendo de %s: %d%%",
    },
    // 10 MESSAGE_PROGRESS_TITLE
    {
        /* en */      "Receiving from %s",
        /* ja */      "%s から受信中",
        /* zh-Hant */ "正在從 %s 接收",
        /* zh-Hans */ "正在从 %s 接收",
        /* ko */      "%s에서 수신 중",
        /* fr */      "Réception de %s",
        /* ru */      "Получение от %s",
        /* es */      "Recibiendo de %s",
        /* de */      "Empfange von %s",
        /* pt */      "Recebendo de %s",
    },
    // 11 MESSAGE_OFFER_FILES
    {
        /* en */      "\"%s\" wants to send you %d file(s) (%s):\n%s\n\nAccept?\n(If you choose Yes, this device can send you anything for the next 10 minutes without asking again.)",
        /* ja */      "「%s」からファイル %d 個（%s）が届いています：\n%s\n\n受け取りますか？\n（「はい」を選ぶと、このデバイスからは10分間、確認なしで受信します。）",
        /* zh-Hant */ "「%s」想傳 %d 個檔案（%s）給你：\n%s\n\n要接受嗎？\n（按「是」後，10 分鐘內這台裝置傳什麼都不會再詢問。）",
        /* zh-Hans */ "“%s”想发送 %d 个文件（%s）给你：\n%s\n\n要接收吗？\n（选择“是”后，10 分钟内这台设备发送任何内容都不再询问。）",
        /* ko */      "\"%s\"에서 파일 %d개(%s)를 보내려고 합니다:\n%s\n\n수락하시겠습니까?\n(‘예’를 선택하면 10분 동안 이 기기에서 보내는 항목은 다시 묻지 않고 받습니다.)",
        /* fr */      "« %s » souhaite vous envoyer %d fichier(s) (%s) :\n%s\n\nAccepter ?\n(Si vous choisissez Oui, cet appareil pourra vous envoyer ce qu'il veut pendant 10 minutes sans nouvelle demande.)",
        /* ru */      "«%s» хочет отправить вам файлов: %d (%s):\n%s\n\nПринять?\n(Если выбрать «Да», в течение 10 минут это устройство сможет отправлять вам что угодно без повторных запросов.)",
        /* es */      "«%s» quiere enviarle %d archivo(s) (%s):\n%s\n\n¿Aceptar?\n(Si elige Sí, este dispositivo podrá enviarle lo que quiera durante 10 minutos sin volver a preguntar.)",
        /* de */      "„%s“ möchte Ihnen %d Datei(en) senden (%s):\n%s\n\nAnnehmen?\n(Wenn Sie „Ja“ wählen, darf dieses Gerät Ihnen 10 Minuten lang alles senden, ohne erneut zu fragen.)",
        /* pt */      "“%s” quer enviar %d arquivo(s) (%s):\n%s\n\nAceitar?\n(Se escolher Sim, este dispositivo poderá enviar o que quiser por 10 minutos sem perguntar novamente.)",
    },
    // 12 MESSAGE_OFFER_TEXT
    {
        /* en */      "\"%s\" wants to send you some text.\n\nAccept?\n(If you choose Yes, this device can send you anything for the next 10 minutes without asking again.)",
        /* ja */      "「%s」からテキストが届いています。\n\n受け取りますか？\n（「はい」を選ぶと、このデバイスからは10分間、確認なしで受信します。）",
        /* zh-Hant */ "「%s」想傳一段文字給你。\n\n要接受嗎？\n（按「是」後，10 分鐘內這台裝置傳什麼都不會再詢問。）",
        /* zh-Hans */ "“%s”想发送一段文字给你。\n\n要接收吗？\n（选择“是”后，10 分钟内这台设备发送任何内容都不再询问。）",
        /* ko */      "\"%s\"에서 텍스트를 보내려고 합니다.\n\n수락하시겠습니까?\n(‘예’를 선택하면 10분 동안 이 기기에서 보내는 항목은 다시 묻지 않고 받습니다.)",
        /* fr */      "« %s » souhaite vous envoyer du texte.\n\nAccepter ?\n(Si vous choisissez Oui, cet appareil pourra vous envoyer ce qu'il veut pendant 10 minutes sans nouvelle demande.)",
        /* ru */      "«%s» хочет отправить вам текст.\n\nПринять?\n(Если выбрать «Да», в течение 10 минут это устройство сможет отправлять вам что угодно без повторных запросов.)",
        /* es */      "«%s» quiere enviarle un texto.\n\n¿Aceptar?\n(Si elige Sí, este dispositivo podrá enviarle lo que quiera durante 10 minutos sin volver a preguntar.)",
        /* de */      "„%s“ möchte Ihnen einen Text senden.\n\nAnnehmen?\n(Wenn Sie „Ja“ wählen, darf dieses Gerät Ihnen 10 Minuten lang alles senden, ohne erneut zu fragen.)",
        /* pt */      "“%s” quer enviar um texto.\n\nAceitar?\n(Se escolher Sim, este dispositivo poderá enviar o que quiser por 10 minutos sem perguntar novamente.)",
    },
    // 13 MESSAGE_OFFER_LINK
    {
        /* en */      "\"%s\" wants to send you a link.\n\nAccept?\n(If you choose Yes, this device can send you anything for the next 10 minutes without asking again.)",
        /* ja */      "「%s」からリンクが届いています。\n\n受け取りますか？\n（「はい」を選ぶと、このデバイスからは10分間、確認なしで受信します。）",
        /* zh-Hant */ "「%s」想傳一個連結給你。\n\n要接受嗎？\n（按「是」後，10 分鐘內這台裝置傳什麼都不會再詢問。）",
        /* zh-Hans */ "“%s”想发送一个链接给你。\n\n要接收吗？\n（选择“是”后，10 分钟内这台设备发送任何内容都不再询问。）",
        /* ko */      "\"%s\"에서 링크를 보내려고 합니다.\n\n수락하시겠습니까?\n(‘예’를 선택하면 10분 동안 이 기기에서 보내는 항목은 다시 묻지 않고 받습니다.)",
        /* fr */      "« %s » souhaite vous envoyer un lien.\n\nAccepter ?\n(Si vous choisissez Oui, cet appareil pourra vous envoyer ce qu'il veut pendant 10 minutes sans nouvelle demande.)",
        /* ru */      "«%s» хочет отправить вам ссылку.\n\nПринять?\n(Если выбрать «Да», в течение 10 минут это устройство сможет отправлять вам что угодно без повторных запросов.)",
        /* es */      "«%s» quiere enviarle un enlace.\n\n¿Aceptar?\n(Si elige Sí, este dispositivo podrá enviarle lo que quiera durante 10 minutos sin volver a preguntar.)",
        /* de */      "„%s“ möchte Ihnen einen Link senden.\n\nAnnehmen?\n(Wenn Sie „Ja“ wählen, darf dieses Gerät Ihnen 10 Minuten lang alles senden, ohne erneut zu fragen.)",
        /* pt */      "“%s” quer enviar um link.\n\nAceitar?\n(Se escolher Sim, este dispositivo poderá enviar o que quiser por 10 minutos sem perguntar novamente.)",
    },
    // 14 MESSAGE_PAIRING_PROMPT
    {
        /* en */      "Pair with \"%s\"?\n\nCode: %s\n\nIf the same code is shown on the other device, choose Yes.",
        /* ja */      "「%s」とペアリングしますか？\n\n確認コード: %s\n\n相手の画面に同じコードが表示されていれば「はい」を選んでください。",
        /* zh-Hant */ "要與「%s」配對嗎？\n\n確認碼：%s\n\n如果對方裝置上顯示相同的確認碼，請按「是」。",
        /* zh-Hans */ "要与“%s”配对吗？\n\n确认码：%s\n\n如果对方设备上显示相同的确认码，请点击“是”。",
        /* ko */      "\"%s\"와(과) 페어링하시겠습니까?\n\n확인 코드: %s\n\n상대 기기에 같은 코드가 표시되면 \"예\"를 선택하세요.",
        /* fr */      "Associer avec « %s » ?\n\nCode : %s\n\nSi le même code s'affiche sur l'autre appareil, choisissez Oui.",
        /* ru */      "Связать с «%s»?\n\nКод: %s\n\nЕсли на другом устройстве показан тот же код, нажмите «Да».",
        /* es */      "¿Vincular con «%s»?\n\nCódigo: %s\n\nSi el otro dispositivo muestra el mismo código, elige Sí.",
        /* de */      "Mit „%s“ koppeln?\n\nCode: %s\n\nWenn auf dem anderen Gerät derselbe Code angezeigt wird, wählen Sie Ja.",
        /* pt */      "Parear com \"%s\"?\n\nCódigo: %s\n\nSe o outro dispositivo mostrar o mesmo código, escolha Sim.",
    },
    // 15 MESSAGE_FILES_RECEIVED
    {
        /* en */      "From %s: received %d file(s)",
        /* ja */      "%s から %d 個のファイルを受信しました",
        /* zh-Hant */ "已從 %s 收到 %d 個檔案",
        /* zh-Hans */ "已从 %s 收到 %d 个文件",
        /* ko */      "%s에서 파일 %d개를 받았습니다",
        /* fr */      "De %s : %d fichier(s) reçu(s)",
        /* ru */      "От %s: получено файлов: %d",
        /* es */      "De %s: se recibieron %d archivo(s)",
        /* de */      "Von %s: %d Datei(en) empfangen",
        /* pt */      "De %s: %d arquivo(s) recebido(s)",
    },
    // 16 MESSAGE_TEXT_COPIED
    {
        /* en */      "Text from %s was copied to the clipboard",
        /* ja */      "%s からのテキストをクリップボードにコピーしました",
        /* zh-Hant */ "已將來自 %s 的文字複製到剪貼簿",
        /* zh-Hans */ "已将来自 %s 的文字复制到剪贴板",
        /* ko */      "%s의 텍스트를 클립보드에 복사했습니다",
        /* fr */      "Le texte de %s a été copié dans le presse-papiers",
        /* ru */      "Текст от %s скопирован в буфер обмена",
        /* es */      "El texto de %s se copió al portapapeles",
        /* de */      "Text von %s wurde in die Zwischenablage kopiert",
        /* pt */      "O texto de %s foi copiado para a área de transferência",
    },
    // 17 MESSAGE_LINK_COPIED
    {
        /* en */      "Link from %s was copied to the clipboard",
        /* ja */      "%s からのリンクをクリップボードにコピーしました",
        /* zh-Hant */ "已將來自 %s 的連結複製到剪貼簿",
        /* zh-Hans */ "已将来自 %s 的链接复制到剪贴板",
        /* ko */      "%s의 링크를 클립보드에 복사했습니다",
        /* fr */      "Le lien de %s a été copié dans le presse-papiers",
        /* ru */      "Ссылка от %s скопирована в буфер обмена",
        /* es */      "El enlace de %s se copió al portapapeles",
        /* de */      "Link von %s wurde in die Zwischenablage kopiert",
        /* pt */      "O link de %s foi copiado para a área de transferência",
    },
    // 18 MESSAGE_PAIRED
    {
        /* en */      "Paired with %s",
        /* ja */      "%s とペアリングしました",
        /* zh-Hant */ "已與 %s 配對",
        /* zh-Hans */ "已与 %s 配对",
        /* ko */      "%s와(과) 페어링되었습니다",
        /* fr */      "Associé avec %s",
        /* ru */      "Связано с %s",
        /* es */      "Vinculado con %s",
        /* de */      "Mit %s gekoppelt",
        /* pt */      "Pareado com %s",
    },
    // 19 MESSAGE_INTRO
    {
        /* en */      "ferrylink is now running in the background. When a device wants to send you files, you will be asked to accept. Right-click this icon to open the menu.",
        /* ja */      "ferrylink は常駐しています。ファイルが届くと、受け取るかどうか確認が表示されます。メニューはこのアイコンを右クリックで開けます。",
        /* zh-Hant */ "ferrylink 已常駐在右下角。有裝置要傳檔給你時，會跳出詢問是否接受；按右鍵點圖示可開啟選單。",
        /* zh-Hans */ "ferrylink 已常驻在右下角。有设备要给你传文件时，会弹出询问是否接收；右键单击图标可打开菜单。",
        /* ko */      "ferrylink이 백그라운드에서 실행 중입니다. 기기에서 파일을 보내면 수락 여부를 묻습니다. 이 아이콘을 마우스 오른쪽 버튼으로 클릭하면 메뉴가 열립니다.",
        /* fr */      "ferrylink s'exécute en arrière-plan. Lorsqu'un appareil veut vous envoyer des fichiers, une demande d'acceptation s'affiche. Faites un clic droit sur cette icône pour ouvrir le menu.",
        /* ru */      "ferrylink работает в фоне. Когда устройство захочет отправить вам файлы, появится запрос на подтверждение. Щёлкните значок правой кнопкой, чтобы открыть меню.",
        /* es */      "ferrylink se está ejecutando en segundo plano. Cuando un dispositivo quiera enviarle archivos, se le pedirá que acepte. Haga clic derecho en este icono para abrir el menú.",
        /* de */      "ferrylink läuft im Hintergrund. Wenn ein Gerät Ihnen Dateien senden möchte, werden Sie um Bestätigung gebeten. Klicken Sie mit der rechten Maustaste auf dieses Symbol, um das Menü zu öffnen.",
        /* pt */      "O ferrylink está em execução em segundo plano. Quando um dispositivo quiser enviar arquivos, será pedido que você aceite. Clique com o botão direito neste ícone para abrir o menu.",
    },
    // 20 MESSAGE_ALLOWANCE_GRANTED
    {
        /* en */      "Receiving from \"%s\" without asking for the next 10 minutes",
        /* ja */      "「%s」からは10分間、確認なしで受信します",
        /* zh-Hant */ "接下來 10 分鐘內，「%s」傳檔不再詢問",
        /* zh-Hans */ "接下来 10 分钟内，“%s”发送文件不再询问",
        /* ko */      "앞으로 10분 동안 \"%s\"의 전송은 묻지 않고 받습니다",
        /* fr */      "Réception depuis « %s » sans demande pendant 10 minutes",
        /* ru */      "Следующие 10 минут файлы от «%s» принимаются без запроса",
        /* es */      "Durante 10 minutos se recibirá de «%s» sin preguntar",
        /* de */      "Die nächsten 10 Minuten wird von „%s“ ohne Nachfrage empfangen",
        /* pt */      "Pelos próximos 10 minutos, o que vier de “%s” será recebido sem perguntar",
    },
    // 21 MESSAGE_PROMPT_WAITING
    {
        /* en */      "%s wants to send you something. Please answer the window on screen.",
        /* ja */      "%s から送信の要求です。画面のウィンドウで答えてください。",
        /* zh-Hant */ "%s 想傳送內容給你，請在畫面上的視窗回答。",
        /* zh-Hans */ "%s 想发送内容给你，请在屏幕上的窗口回答。",
        /* ko */      "%s에서 보내려고 합니다. 화면의 창에서 답해 주세요.",
        /* fr */      "%s souhaite vous envoyer quelque chose. Répondez dans la fenêtre à l’écran.",
        /* ru */      "%s хочет что-то отправить. Ответьте в окне на экране.",
        /* es */      "%s quiere enviarte algo. Responde en la ventana de la pantalla.",
        /* de */      "%s möchte etwas senden. Bitte im Fenster auf dem Bildschirm antworten.",
        /* pt */      "%s quer enviar algo. Responda na janela na tela.",
    },
    // 22 MESSAGE_INSTALL_QUESTION
    {
        /* en */      "Install ferrylink on this PC and start it when Windows starts?\n\nYes: install and start with Windows\nNo: just run it this time\nCancel: exit",
        /* ja */      "この PC に ferrylink をインストールし、Windows 起動時に自動で開始しますか？\n\nはい: インストールして自動起動\nいいえ: 今回だけ実行\nキャンセル: 終了",
        /* zh-Hant */ "要將 ferrylink 安裝到這台電腦，並在 Windows 啟動時自動執行嗎？\n\n是：安裝並開機自動啟動\n否：只執行這一次\n取消：結束",
        /* zh-Hans */ "要将 ferrylink 安装到这台电脑，并在 Windows 启动时自动运行吗？\n\n是：安装并开机自动启动\n否：仅运行这一次\n取消：退出",
        /* ko */      "이 PC에 ferrylink을 설치하고 Windows 시작 시 자동으로 실행하시겠습니까?\n\n예: 설치하고 자동 실행\n아니요: 이번만 실행\n취소: 종료",
        /* fr */      "Installer ferrylink sur ce PC et le lancer au démarrage de Windows ?\n\nOui : installer et lancer au démarrage\nNon : exécuter seulement cette fois\nAnnuler : quitter",
        /* ru */      "Установить ferrylink на этот компьютер и запускать вместе с Windows?\n\nДа: установить и запускать с Windows\nНет: запустить только сейчас\nОтмена: выйти",
        /* es */      "¿Instalar ferrylink en este PC e iniciarlo con Windows?\n\nSí: instalar e iniciar con Windows\nNo: ejecutar solo esta vez\nCancelar: salir",
        /* de */      "ferrylink auf diesem PC installieren und mit Windows starten?\n\nJa: installieren und mit Windows starten\nNein: nur diesmal ausführen\nAbbrechen: beenden",
        /* pt */      "Instalar o ferrylink neste PC e iniciá-lo com o Windows?\n\nSim: instalar e iniciar com o Windows\nNão: executar só desta vez\nCancelar: sair",
    },
    // 23 MESSAGE_INSTALLED
    {
        /* en */      "Installed. ferrylink will start with Windows.",
        /* ja */      "インストールしました。Windows の起動時に自動で開始します。",
        /* zh-Hant */ "已安裝。ferrylink 會隨 Windows 啟動。",
        /* zh-Hans */ "已安装。ferrylink 将随 Windows 启动。",
        /* ko */      "설치되었습니다. ferrylink이 Windows와 함께 시작됩니다.",
        /* fr */      "Installé. ferrylink démarrera avec Windows.",
        /* ru */      "Установлено. ferrylink будет запускаться вместе с Windows.",
        /* es */      "Instalado. ferrylink se iniciará con Windows.",
        /* de */      "Installiert. ferrylink startet mit Windows.",
        /* pt */      "Instalado. O ferrylink iniciará com o Windows.",
    },
    // 24 MESSAGE_ABOUT
    {
        /* en */      "ferrylink %s\nReceives files from your iPhone over the local network.\n\nDevice ID: %s\nInbox: %s\nPort: %d",
        /* ja */      "ferrylink %s\nローカルネットワーク経由で iPhone からファイルを受け取ります。\n\nデバイス ID: %s\n受信フォルダ: %s\nポート: %d",
        /* zh-Hant */ "ferrylink %s\n透過區域網路接收 iPhone 傳來的檔案。\n\n裝置 ID：%s\n收件資料夾：%s\n連接埠：%d",
        /* zh-Hans */ "ferrylink %s\n通过局域网接收 iPhone 发来的文件。\n\n设备 ID：%s\n收件文件夹：%s\n端口：%d",
        /* ko */      "ferrylink %s\n로컬 네트워크를 통해 iPhone에서 파일을 받습니다.\n\n기기 ID: %s\n받은 폴더: %s\n포트: %d",
        /* fr */      "ferrylink %s\nReçoit les fichiers de votre iPhone via le réseau local.\n\nID de l'appareil : %s\nDossier de réception : %s\nPort : %d",
        /* ru */      "ferrylink %s\nПринимает файлы с вашего iPhone по локальной сети.\n\nID устройства: %s\nПапка входящих: %s\nПорт: %d",
        /* es */      "ferrylink %s\nRecibe archivos de tu iPhone a través de la red local.\n\nID del dispositivo: %s\nCarpeta de recibidos: %s\nPuerto: %d",
        /* de */      "ferrylink %s\nEmpfängt Dateien von Ihrem iPhone über das lokale Netzwerk.\n\nGeräte-ID: %s\nEingangsordner: %s\nPort: %d",
        /* pt */      "ferrylink %s\nRecebe arquivos do seu iPhone pela rede local.\n\nID do dispositivo: %s\nPasta de recebidos: %s\nPorta: %d",
    },
    // 25 MESSAGE_PICK_INBOX
    {
        /* en */      "Choose the folder where received files are saved",
        /* ja */      "受信したファイルの保存先フォルダを選んでください",
        /* zh-Hant */ "請選擇接收檔案的存放資料夾",
        /* zh-Hans */ "请选择接收文件的保存文件夹",
        /* ko */      "받은 파일을 저장할 폴더를 선택하세요",
        /* fr */      "Choisissez le dossier où enregistrer les fichiers reçus",
        /* ru */      "Выберите папку для сохранения полученных файлов",
        /* es */      "Elige la carpeta donde se guardarán los archivos recibidos",
        /* de */      "Wählen Sie den Ordner für empfangene Dateien",
        /* pt */      "Escolha a pasta onde os arquivos recebidos serão salvos",
    },
    // 26 MESSAGE_LISTEN_FAILED
    {
        /* en */      "Could not start listening on the network. Another program may be using the port.",
        /* ja */      "ネットワークの待ち受けを開始できませんでした。別のプログラムがポートを使用している可能性があります。",
        /* zh-Hant */ "無法開始監聽網路。可能有其他程式佔用了連接埠。",
        /* zh-Hans */ "无法开始监听网络。可能有其他程序占用了端口。",
        /* ko */      "네트워크 수신을 시작할 수 없습니다. 다른 프로그램이 포트를 사용 중일 수 있습니다.",
        /* fr */      "Impossible de démarrer l'écoute réseau. Un autre programme utilise peut-être le port.",
        /* ru */      "Не удалось начать приём по сети. Возможно, порт занят другой программой.",
        /* es */      "No se pudo iniciar la escucha en la red. Puede que otro programa use el puerto.",
        /* de */      "Das Netzwerk konnte nicht überwacht werden. Möglicherweise belegt ein anderes Programm den Port.",
        /* pt */      "Não foi possível iniciar a escuta na rede. Outro programa pode estar usando a porta.",
    },
    // 27 MESSAGE_UNINSTALL_QUESTION
    {
        /* en */      "Also delete settings and paired devices?\n(Received files are kept.)",
        /* ja */      "設定とペアリング情報も削除しますか？\n（受信したファイルは残ります）",
        /* zh-Hant */ "要一併刪除設定與已配對裝置資料嗎？\n（已收到的檔案會保留）",
        /* zh-Hans */ "要一并删除设置和已配对设备数据吗？\n（已收到的文件会保留）",
        /* ko */      "설정과 페어링 정보도 삭제하시겠습니까?\n(받은 파일은 유지됩니다)",
        /* fr */      "Supprimer aussi les paramètres et les appareils associés ?\n(Les fichiers reçus sont conservés.)",
        /* ru */      "Удалить также настройки и связанные устройства?\n(Полученные файлы сохранятся.)",
        /* es */      "¿Eliminar también los ajustes y los dispositivos vinculados?\n(Los archivos recibidos se conservan.)",
        /* de */      "Auch Einstellungen und gekoppelte Geräte löschen?\n(Empfangene Dateien bleiben erhalten.)",
        /* pt */      "Excluir também as configurações e os dispositivos pareados?\n(Os arquivos recebidos são mantidos.)",
    },
    // 28 MESSAGE_UNINSTALLED
    {
        /* en */      "ferrylink was removed.",
        /* ja */      "ferrylink を削除しました。",
        /* zh-Hant */ "已移除 ferrylink。",
        /* zh-Hans */ "已移除 ferrylink。",
        /* ko */      "ferrylink이 제거되었습니다.",
        /* fr */      "ferrylink a été supprimé.",
        /* ru */      "ferrylink удалён.",
        /* es */      "Se quitó ferrylink.",
        /* de */      "ferrylink wurde entfernt.",
        /* pt */      "O ferrylink foi removido.",
    },
    // 29 MESSAGE_ALREADY_RUNNING
    {
        /* en */      "ferrylink is already running (look in the notification area).",
        /* ja */      "ferrylink はすでに実行中です（通知領域を確認してください）。",
        /* zh-Hant */ "ferrylink 已在執行中（請看通知區域）。",
        /* zh-Hans */ "ferrylink 已在运行（请查看通知区域）。",
        /* ko */      "ferrylink이 이미 실행 중입니다(알림 영역을 확인하세요).",
        /* fr */      "ferrylink est déjà en cours d'exécution (zone de notification).",
        /* ru */      "ferrylink уже запущен (см. область уведомлений).",
        /* es */      "ferrylink ya se está ejecutando (revisa el área de notificación).",
        /* de */      "ferrylink läuft bereits (siehe Infobereich).",
        /* pt */      "O ferrylink já está em execução (veja a área de notificação).",
    },
    // 30 MESSAGE_INBOX_NAME
    {
        /* en */      "ferrylink Inbox",
        /* ja */      "ferrylink受信",
        /* zh-Hant */ "ferrylink收件",
        /* zh-Hans */ "ferrylink收件",
        /* ko */      "ferrylink 받은 파일",
        /* fr */      "Réception ferrylink",
        /* ru */      "ferrylink Входящие",
        /* es */      "ferrylink Recibidos",
        /* de */      "ferrylink Eingang",
        /* pt */      "ferrylink Recebidos",
    },
    // 31 MESSAGE_TEXT_NOT_COPIED
    {
        /* en */      "Text from %s could not be copied to the clipboard",
        /* ja */      "%s からのテキストをクリップボードにコピーできませんでした",
        /* zh-Hant */ "無法將來自 %s 的文字複製到剪貼簿",
        /* zh-Hans */ "无法将来自 %s 的文字复制到剪贴板",
        /* ko */      "%s의 텍스트를 클립보드에 복사하지 못했습니다",
        /* fr */      "Le texte de %s n'a pas pu être copié dans le presse-papiers",
        /* ru */      "Не удалось скопировать текст от %s в буфер обмена",
        /* es */      "No se pudo copiar al portapapeles el texto de %s",
        /* de */      "Text von %s konnte nicht in die Zwischenablage kopiert werden",
        /* pt */      "Não foi possível copiar o texto de %s para a área de transferência",
    },
    // 32 MESSAGE_LINK_NOT_COPIED
    {
        /* en */      "Link from %s could not be copied to the clipboard",
        /* ja */      "%s からのリンクをクリップボードにコピーできませんでした",
        /* zh-Hant */ "無法將來自 %s 的連結複製到剪貼簿",
        /* zh-Hans */ "无法将来自 %s 的链接复制到剪贴板",
        /* ko */      "%s의 링크를 클립보드에 복사하지 못했습니다",
        /* fr */      "Le lien de %s n'a pas pu être copié dans le presse-papiers",
        /* ru */      "Не удалось скопировать ссылку от %s в буфер обмена",
        /* es */      "No se pudo copiar al portapapeles el enlace de %s",
        /* de */      "Link von %s konnte nicht in die Zwischenablage kopiert werden",
        /* pt */      "Não foi possível copiar o link de %s para a área de transferência",
    },
};

// One row per button, one column per language: the words the messages use for them.
const char* const kButtons[BUTTON_COUNT][LANGUAGE_COUNT] = {
    // en    ja            zh-Hant  zh-Hans  ko        fr         ru        es          de           pt
    {"Yes",    "はい",       "是",    "是",    "예",     "Oui",     "Да",     "Sí",       "Ja",        "Sim"},
    {"No",     "いいえ",     "否",    "否",    "아니요", "Non",     "Нет",    "No",       "Nein",      "Não"},
    {"Cancel", "キャンセル", "取消",  "取消",  "취소",   "Annuler", "Отмена", "Cancelar", "Abbrechen", "Cancelar"},
    {"OK",     "OK",         "確定",  "确定",  "확인",   "OK",      "ОК",     "Aceptar",  "OK",        "OK"},
};

// Set once at start-up, then only read (also by session threads formatting balloons).
std::atomic<int> g_language{LANG_ENGLISH};

// Windows primary language ids (the low 10 bits of a language id).
enum : unsigned {
  PRIMARY_CHINESE = 0x04,
  PRIMARY_GERMAN = 0x07,
  PRIMARY_SPANISH = 0x0A,
  PRIMARY_FRENCH = 0x0C,
  PRIMARY_JAPANESE = 0x11,
  PRIMARY_KOREAN = 0x12,
  PRIMARY_PORTUGUESE = 0x16,
  PRIMARY_RUSSIAN = 0x19,
};

// Chinese by sublanguage (the id's upper 6 bits): Taiwan (1), Hong Kong SAR (3) and
// Macao SAR (5) write the traditional script; the PRC (2), Singapore (4), the neutral
// sublanguage 0 and every newer sublanguage (ids above 0x17FF) write the simplified one.
int chinese_script(uint16_t ui_language) {
  if (ui_language > 0x17FF) return LANG_CHINESE_SIMPLIFIED;
  unsigned sub = ui_language >> 10;
  return (sub == 1 || sub == 3 || sub == 5) ? LANG_CHINESE_TRADITIONAL : LANG_CHINESE_SIMPLIFIED;
}

}  // namespace

int language_from_ui_language(uint16_t ui_language) {
  switch (ui_language & 0x3FFu) {
    case PRIMARY_JAPANESE: return LANG_JAPANESE;
    case PRIMARY_CHINESE: return chinese_script(ui_language);
    case PRIMARY_KOREAN: return LANG_KOREAN;
    case PRIMARY_FRENCH: return LANG_FRENCH;
    case PRIMARY_RUSSIAN: return LANG_RUSSIAN;
    case PRIMARY_SPANISH: return LANG_SPANISH;
    case PRIMARY_GERMAN: return LANG_GERMAN;
    case PRIMARY_PORTUGUESE: return LANG_PORTUGUESE;
    default: return LANG_ENGLISH;
  }
}

void set_language(int index) {
  // Compared as unsigned so that a negative setting counts as out of range.
  g_language.store(static_cast<unsigned>(index) < LANGUAGE_COUNT ? index : LANG_ENGLISH,
                   std::memory_order_relaxed);
}

int current_language() { return g_language.load(std::memory_order_relaxed); }

const char* message_pick(const char* const row[LANGUAGE_COUNT], int language) {
  if (static_cast<unsigned>(language) < LANGUAGE_COUNT) {
    const char* cell = row[language];
    if (cell && cell[0]) return cell;
  }
  return row[LANG_ENGLISH] ? row[LANG_ENGLISH] : "";
}

const char* message_text(int id) {
  // Unsigned, so a negative id is refused like one past the end instead of reading before
  // the table.
  if (static_cast<unsigned>(id) >= MESSAGE_COUNT) return "";
  const char* const* own = message_system_row(id);
  return message_pick(own ? own : kMessages[id], current_language());
}

const char* button_text(int button) {
  if (static_cast<unsigned>(button) >= BUTTON_COUNT) return "";
  return message_pick(kButtons[button], current_language());
}

void button_caption(int button, char mark, char* out, size_t cap) {
  if (!out || cap == 0) return;
  const char* word = button_text(button);
  const char* key = button == BUTTON_YES ? "Y" : button == BUTTON_NO ? "N" : nullptr;
  // A lead byte from 0xE3 on starts U+3000 or later: the CJK and Hangul words.
  bool after = static_cast<unsigned char>(word[0]) >= 0xE3;
  if (!key) {
    snprintf(out, cap, "%s", word);
  } else if (after) {
    snprintf(out, cap, "%s(%c%s)", word, mark, key);
  } else {
    snprintf(out, cap, "%c%s", mark, word);
  }
}
